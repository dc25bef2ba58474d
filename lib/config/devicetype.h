#pragma once

#include <QtGlobal>
#include <optional>

namespace analyzer::enums {

// Device codes the frontend passes on the command line; each names an edition.
enum class DeviceType : qint32 {
    UlvexAnalyzer = 1000,
    UlvexAnalyzerAlt = 1001,
    MorvaneScanner = 2000,
    KestrinScanner = 3000,
    MoxScan = 4000,
    HalvionCheckUp = 5000,
};

// Maps a raw code to a device type; codes outside the list have none.
constexpr std::optional<DeviceType> deviceTypeFromCode(qint32 code)
{
    switch (code) {
    case 1000:
    case 1001:
    case 2000:
    case 3000:
    case 4000:
    case 5000:
        return static_cast<DeviceType>(code);
    default:
        return std::nullopt;
    }
}

} // namespace analyzer::enums
