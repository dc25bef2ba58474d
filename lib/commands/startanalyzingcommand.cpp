#include "commands/startanalyzingcommand.h"

#include "config/backendlogger.h"
#include "link/clientthread.h"
#include "link/hardwareserver.h"
#include "link/packet.h"
#include "measurement/measurementmanager.h"
#include "storage/reportsaver.h"

QByteArray StartAnalyzingCommand::operator()(const QByteArray& packet)
{
    MeasurementManager* manager = HardwareServer::getClientThread()->measurementManager;
    // The session answers nothing before its manager exists; stay safe anyway.
    if (!manager)
        return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
    if (manager->running)
        return makePacket(opcodes::start_measure, status_codes::measurement_in_progress);

    const Packet request = readPacket(packet);
    if (!manager->loadPerson(static_cast<quint32>(request.payload)))
        return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
    // Without its reference the measurement could never be saved: say so now.
    if (!ReportSaver::referenceParametersReadable(manager->person()->female)) {
        backendLogger()->error("Measurement not started: the reference parameters cannot be read");
        return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
    }

    const auto started = manager->start();
    if (started.has_value())
        return makePacket(opcodes::start_measure, status_codes::measurement_started);
    if (started.error() == StartError::CalibrationFailed)
        return makePacket(opcodes::start_measure, status_codes::measurement_calibration_error);
    return makePacket(opcodes::start_measure, status_codes::measurement_not_started);
}
