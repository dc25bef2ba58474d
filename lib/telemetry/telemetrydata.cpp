#include "telemetry/telemetrydata.h"

QJsonObject TelemetryData::toJson() const
{
    return QJsonObject{
        {QStringLiteral("ip_address"), ipAddress},
        {QStringLiteral("os_info"), osInfo},
        {QStringLiteral("computer_info"), computerInfo},
        {QStringLiteral("ftdi_serial"), ftdiSerial},
        {QStringLiteral("analyzer_version"), analyzerVersion},
        {QStringLiteral("analyzer_serial"), analyzerSerial},
        {QStringLiteral("analyzer_code"), analyzerCode},
        {QStringLiteral("frontend_version"), frontendVersion},
        {QStringLiteral("backend_version"), backendVersion},
    };
}
