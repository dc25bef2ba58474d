#pragma once

#include <QString>

// What the report needs from the session, taken on the session thread before
// the report runs on its own thread: nothing there may reach the device or
// the settings afterwards.
struct TelemetryFacts {
    // Serial-port serial number of the session's device.
    QString deviceSerialNumber;
    // The analyzer UID as Settings held it at that moment.
    QString analyzerUid;
};
