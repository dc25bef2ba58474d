#pragma once

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

    void startServer();

    // The current session; command handlers reach the socket, device and
    // measurement through it.
    static ClientThread* getClientThread();

signals:
    void finished();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void refuseConnection(qintptr socketDescriptor);

    static ClientThread* worker;
    const quint16 port;
};
