#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QObject>
#include <memory>
#include <spdlog/logger.h>

class SessionAccess;

// Handler of one frontend opcode: takes the whole received message and
// returns the complete reply packet, or an empty array for no reply.
// Plain instances serve as placeholders for opcodes without real work.
class ULVEX_EXPORT Command : public QObject {
    Q_OBJECT
public:
    explicit Command(QObject* parent = nullptr);
    ~Command() override;

    virtual QByteArray operator()(const QByteArray& packet);

    // The session this handler serves; set when it is registered.
    void attach(SessionAccess* session) { sessionAccess = session; }

protected:
    SessionAccess* session() const { return sessionAccess; }

    std::shared_ptr<spdlog::logger> logger;

private:
    SessionAccess* sessionAccess = nullptr;
};
