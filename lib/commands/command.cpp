#include "commands/command.h"

#include "config/backendlogger.h"

Command::Command(QObject* parent)
    : QObject(parent)
    , logger(backendLogger())
{
}

Command::~Command() = default;

QByteArray Command::operator()(const QByteArray& /*packet*/)
{
    logger->warn("Unimplemented commmand");
    return {};
}
