#pragma once

#include "link/sessionoptions.h"
#include "ulvex_export.h"

#include <QTcpServer>

class ClientThread;

// Listens on 127.0.0.1 for the frontend and runs one session per process:
// when that session's thread ends the server closes and emits `finished`.
class ULVEX_EXPORT HardwareServer : public QTcpServer {
    Q_OBJECT
public:
    static constexpr quint16 defaultPort = 2700;

    explicit HardwareServer(QObject* parent = nullptr, quint16 port = defaultPort);
    // A session still running is closed and waited for.
    ~HardwareServer() override;

    void startServer();
    // How the sessions of later connections are made.
    void setSessionOptions(SessionOptions options) { sessionOptions = std::move(options); }

    // The current session, or null when none runs.
    static ClientThread* getClientThread();

signals:
    void finished();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void refuseConnection(qintptr socketDescriptor);

    static ClientThread* worker;
    const quint16 port;
    SessionOptions sessionOptions;
};
