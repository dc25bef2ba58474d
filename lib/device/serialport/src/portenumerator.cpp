#include "portenumerator.h"

#include "deviceidparser.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>

namespace {
// GUID_DEVCLASS_PORTS, spelled out rather than instantiated through initguid.h.
constexpr GUID portsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr DWORD maxText = 512; // characters of any name, property or identifier read

QString fromWide(const wchar_t* text, DWORD bytes)
{
    // Registry strings need not end in a NUL: read only what is there.
    qsizetype chars = static_cast<qsizetype>(bytes / sizeof(wchar_t));
    const qsizetype end = std::find(text, text + chars, L'\0') - text;
    return QString::fromWCharArray(text, end);
}

QString registryString(HKEY key, const wchar_t* value)
{
    wchar_t buffer[maxText] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(buffer);
    if (::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS
        || type != REG_SZ)
        return {};
    return fromWide(buffer, bytes);
}

QString deviceProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property)
{
    wchar_t buffer[maxText] = {};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                             sizeof(buffer), nullptr)
        || type != REG_SZ)
        return {};
    return fromWide(buffer, sizeof(buffer));
}

QString instanceId(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    wchar_t buffer[maxText] = {};
    if (!::SetupDiGetDeviceInstanceIdW(set, device, buffer, maxText, nullptr))
        return {};
    return fromWide(buffer, sizeof(buffer));
}
} // namespace

QList<QSerialPortInfo> PortEnumerator::list()
{
    QList<QSerialPortInfo> ports;
    addDeviceClassPorts(&ports);
    addDeviceMapPorts(&ports);
    std::sort(ports.begin(), ports.end(), [](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return ports;
}

void PortEnumerator::addDeviceClassPorts(QList<QSerialPortInfo>* ports)
{
    const HDEVINFO set = ::SetupDiGetClassDevsW(&portsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; index < 4096 && ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const QString name = registryString(key, L"PortName");
        ::RegCloseKey(key);
        // Printer ports are in the same device class.
        if (!plausibleName(name) || name.startsWith(QLatin1String("LPT"), Qt::CaseInsensitive))
            continue;
        QSerialPortInfo info;
        info.name = name;
        info.descriptionText = deviceProperty(set, &device, SPDRP_DEVICEDESC);
        if (info.descriptionText.isEmpty())
            info.descriptionText = deviceProperty(set, &device, SPDRP_FRIENDLYNAME);
        info.manufacturerText = deviceProperty(set, &device, SPDRP_MFG);
        const DeviceIdentity identity = DeviceIdParser::parse(instanceId(set, &device));
        info.vendorId = identity.vendorId;
        info.productId = identity.productId;
        info.hasVendorId = identity.hasVendorId;
        info.hasProductId = identity.hasProductId;
        info.serial = identity.serialNumber;
        ports->append(info);
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

void PortEnumerator::addDeviceMapPorts(QList<QSerialPortInfo>* ports)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS)
        return;
    for (DWORD index = 0; index < 4096; ++index) {
        wchar_t valueName[maxText] = {};
        DWORD nameChars = maxText;
        wchar_t data[maxText] = {};
        DWORD dataBytes = sizeof(data);
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, valueName, &nameChars, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const QString name = fromWide(data, dataBytes);
        if (!plausibleName(name))
            continue;
        const bool known = std::any_of(ports->cbegin(), ports->cend(), [&name](const QSerialPortInfo& info) {
            return info.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (known)
            continue;
        QSerialPortInfo info;
        info.name = name;
        ports->append(info);
    }
    ::RegCloseKey(key);
}

bool PortEnumerator::plausibleName(const QString& name)
{
    return !name.isEmpty() && name.size() <= maxNameLength && !name.contains(QLatin1Char('\\'))
           && !name.contains(QLatin1Char('/'));
}

QString PortEnumerator::portNameOf(const QString& nameOrLocation)
{
    for (const QLatin1String prefix : {QLatin1String("\\\\.\\"), QLatin1String("\\\\?\\")}) {
        if (nameOrLocation.startsWith(prefix))
            return nameOrLocation.mid(prefix.size());
    }
    return nameOrLocation;
}

QString PortEnumerator::systemLocationOf(const QString& nameOrLocation)
{
    return QLatin1String("\\\\.\\") + portNameOf(nameOrLocation);
}
