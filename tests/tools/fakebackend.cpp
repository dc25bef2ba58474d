// Stands in for the backend in the client tests. Takes the time stamp and
// code like the program; FAKE_BACKEND_PORT names the port, FAKE_BACKEND_MODE
// what it does: "silent" greets and then never answers, "close" greets and
// closes the connection on the first request, "exit" ends at once with 3.
#include "protocol/packet.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = qgetenv("FAKE_BACKEND_MODE");
    if (mode == "exit")
        return 3;
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, static_cast<quint16>(qEnvironmentVariableIntValue("FAKE_BACKEND_PORT"))))
        return 4;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, mode] {
        QTcpSocket* socket = server.nextPendingConnection();
        socket->write(makePacket(opcodes::initialization, static_cast<qint32>(status_codes::service_ready)));
        if (mode == "close")
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->close(); });
    });
    return app.exec();
}
