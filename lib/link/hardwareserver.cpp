#include "link/hardwareserver.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"
#include "link/clientthread.h"

#include <QTcpSocket>
#include <exception>
#include <spdlog/spdlog.h>
#if defined(Q_OS_WIN)
#include <winsock2.h>
#else
#include <unistd.h>
#endif

ClientThread* HardwareServer::worker = nullptr;

HardwareServer::HardwareServer(QObject* parent, quint16 port)
    : QTcpServer(parent)
    , port(port)
{
}

HardwareServer::~HardwareServer()
{
    if (!worker)
        return;
    worker->shutdown();
    worker->wait();
    delete worker;
    worker = nullptr;
}

ClientThread* HardwareServer::getClientThread()
{
    return worker;
}

void HardwareServer::startServer()
{
    auto logger = backendLogger();
    if (listen(QHostAddress::LocalHost, port)) {
        logger->info("Server is listening");
        logger->debug("Server details: {}:{}", serverAddress().toString(), port);
    } else {
        logger->error("{}", errorString());
    }
}

void HardwareServer::incomingConnection(qintptr socketDescriptor)
{
    auto logger = backendLogger();
    // One session per process: the process ends with it, and `worker` names
    // only one, so a second one must never run beside it.
    if (worker) {
        refuseConnection(socketDescriptor);
        return;
    }
    try {
        logger->trace("Incoming connection - begin");
        worker = new ClientThread(static_cast<int>(socketDescriptor), sessionOptions);
        connect(worker, &QThread::finished, this, [this] {
            if (auto log = spdlog::get("backend"))
                log->info("=== Thread Ended ===");
            // The process may leave as soon as `finished` is out: let the
            // session thread finish its own clean-up first.
            worker->wait();
            worker->deleteLater();
            worker = nullptr;
            close();
            emit finished();
        });
        worker->start(QThread::InheritPriority);
        logger->trace("Incoming connection  - end");
    } catch (const std::exception& e) {
        logger->error("Exception in incomingConnection: {}", e.what());
        close();
    }
}

void HardwareServer::refuseConnection(qintptr socketDescriptor)
{
    QTcpSocket refused;
    if (refused.setSocketDescriptor(socketDescriptor)) {
        backendLogger()->warn("Refused connection from {}:{}: a session is already running",
                              refused.peerAddress().toString(), refused.peerPort());
        refused.abort();
    } else {
#if defined(Q_OS_WIN)
        ::closesocket(static_cast<SOCKET>(socketDescriptor));
#else
        ::close(static_cast<int>(socketDescriptor));
#endif
    }
}
