#include "commands/savecommand.h"

#include "commands/sessionaccess.h"
#include "measurement/measurementmanager.h"
#include "protocol/packet.h"
#include "protocol/packetfactory.h"

#include <QEventLoop>
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
    SessionAccess* current = session();
    MeasurementManager* manager = current->measurementManager();
    const Packet request = readPacket(packet);

    if (!manager || !current->resultsReady())
        return makePacket(opcodes::save_measure, status_codes::measurement_not_started);

    if (request.payload != 1) {
        current->measurementDiscarded();
        return makePacket(opcodes::save_measure, status_codes::measurement_discarded);
    }

    const auto progress = [current](qint32 index, qint32 total) {
        // The pause paces the frontend's progress bar; the thread keeps serving events.
        QEventLoop pause;
        QTimer::singleShot(pausePerParameterMs, &pause, &QEventLoop::quit);
        pause.exec();
        current->notify(PacketFactory::progressPacket(opcodes::saving_progress, progressPercent(index, total)));
    };

    if (manager->saveReport(progress)) {
        current->measurementSaved();
        return makePacket(opcodes::save_measure, status_codes::measurement_saved);
    }
    current->measurementDiscarded();
    return makePacket(opcodes::save_measure, status_codes::measurement_cannot_save);
}
