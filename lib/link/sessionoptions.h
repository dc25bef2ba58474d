#pragma once

#include "measurement/measurementmanager.h"

#include <functional>

class Device;

// How a session is made. The program uses the defaults; tests run the whole
// session in-process against a device of their own and a short measurement.
struct SessionOptions {
    // Makes the session's device, on the session thread; the serial analyzer
    // (V2Device) when empty. The session owns what it returns.
    std::function<Device*()> makeDevice;
    int measurementTotalMs = MeasurementManager::totalTimeMs;
    int measurementTickMs = MeasurementManager::tickIntervalMs;
    // The telemetry step beside the session (configured from the environment).
    bool telemetry = true;
};
