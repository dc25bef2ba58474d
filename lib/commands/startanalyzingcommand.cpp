#include "commands/startanalyzingcommand.h"

#include "commands/sessionaccess.h"
#include "measurement/measurementmanager.h"
#include "protocol/packet.h"
#include "storage/reportsaver.h"

QByteArray StartAnalyzingCommand::operator()(const QByteArray& packet)
{
    MeasurementManager* manager = session()->measurementManager();
    // The session answers nothing before its manager exists; stay safe anyway.
    if (!manager)
        return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
    if (manager->running)
        return makePacket(opcodes::start_measure, status_codes::measurement_in_progress);

    const Packet request = readPacket(packet);
    if (!manager->loadPerson(static_cast<quint32>(request.payload)))
        return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
    // The person is replaced: whatever finished before cannot be saved any more.
    session()->replaceFinishedMeasurement();
    // Without its reference the measurement could never be saved: say so now.
    if (!ReportSaver::referenceParametersReadable(manager->person()->female)) {
        logger->error("Measurement not started: the reference parameters cannot be read");
        return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
    }

    const auto started = manager->start();
    if (started.has_value())
        return makePacket(opcodes::start_measure, status_codes::measurement_started);
    if (started.error() == StartError::CalibrationFailed)
        return makePacket(opcodes::start_measure, status_codes::measurement_calibration_error);
    return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
}
