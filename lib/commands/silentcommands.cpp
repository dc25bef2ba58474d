#include "commands/silentcommands.h"

namespace {
QByteArray noReply()
{
    return {};
}
} // namespace

QByteArray AbortCommand::operator()(const QByteArray& /*packet*/)
{
    return noReply();
}

QByteArray EndAnalyzingCommand::operator()(const QByteArray& /*packet*/)
{
    return noReply();
}

QByteArray ErrorCommand::operator()(const QByteArray& /*packet*/)
{
    return noReply();
}

QByteArray StateOfAnalyzingCommand::operator()(const QByteArray& /*packet*/)
{
    return noReply();
}
