#include "commands/analyzingcorrectnesscommand.h"

#include "device/device.h"
#include "link/clientthread.h"
#include "link/hardwareserver.h"
#include "link/packet.h"
#include "measurement/measurementmanager.h"

QByteArray AnalyzingCorrectnessCommand::operator()(const QByteArray& /*packet*/)
{
    ClientThread* session = HardwareServer::getClientThread();
    if (session->measurementManager && session->measurementManager->running)
        return makePacket(opcodes::correctness_measure, session->device->isMeasurementCorrect() ? 1 : 0);
    return makePacket(opcodes::correctness_measure, status_codes::measurement_not_started);
}
