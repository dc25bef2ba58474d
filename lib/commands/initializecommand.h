#pragma once

#include "commands/command.h"

// `initialization`: initializes the session's device; on success the session
// installs the measurement handlers through `initialized`.
class ULVEX_EXPORT InitializeCommand : public Command {
    Q_OBJECT
public:
    explicit InitializeCommand(QObject* parent = nullptr);
    QByteArray operator()(const QByteArray& packet) override;

signals:
    void initialized();
};
