#include "commands/analyzingcorrectnesscommand.h"

#include "commands/sessionaccess.h"
#include "device/device.h"
#include "measurement/measurementmanager.h"
#include "protocol/packet.h"

QByteArray AnalyzingCorrectnessCommand::operator()(const QByteArray& /*packet*/)
{
    const MeasurementManager* manager = session()->measurementManager();
    if (manager && manager->running)
        return makePacket(opcodes::correctness_measure, session()->device()->isMeasurementCorrect() ? 1 : 0);
    return makePacket(opcodes::correctness_measure, status_codes::measurement_not_started);
}
