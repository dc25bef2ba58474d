#include "commands/savecommand.h"

#include "link/clientthread.h"
#include "link/hardwareserver.h"
#include "link/packet.h"
#include "link/packetfactory.h"
#include "measurement/measurementmanager.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr int pausePerParameterMs = 100;
}

int SaveCommand::progressPercent(qint32 index, qint32 total)
{
    if (total == 0)
        return 100;
    return static_cast<int>(static_cast<float>(index) / static_cast<float>(total) * 100.0f);
}

QByteArray SaveCommand::operator()(const QByteArray& packet)
{
    ClientThread* session = HardwareServer::getClientThread();
    MeasurementManager* manager = session->measurementManager;
    const Packet request = readPacket(packet);

    if (!manager || !manager->resultsReady)
        return makePacket(opcodes::save_measure, status_codes::measurement_not_started);

    if (request.payload != 1) {
        emit session->discarded();
        return makePacket(opcodes::save_measure, status_codes::measurement_discarded);
    }

    QTcpSocket* socket = session->socket;
    const auto progress = [socket](qint32 index, qint32 total) {
        // The pause paces the frontend's progress bar; the thread keeps serving events.
        QEventLoop pause;
        QTimer::singleShot(pausePerParameterMs, &pause, &QEventLoop::quit);
        pause.exec();
        const QByteArray bytes =
            PacketFactory::progressPacket(opcodes::saving_progress, progressPercent(index, total));
        ClientThread::sendPacket(socket, bytes); // a failure does not stop the saving
    };

    if (manager->saveReport(progress)) {
        emit session->saved();
        return makePacket(opcodes::save_measure, status_codes::measurement_saved);
    }
    emit session->discarded();
    return makePacket(opcodes::save_measure, status_codes::measurement_cannot_save);
}
