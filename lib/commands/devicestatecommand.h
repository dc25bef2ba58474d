#pragma once

#include "commands/command.h"

// `device_state`: connected, connected and initialized, or not connected.
class ULVEX_EXPORT DeviceStateCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};
