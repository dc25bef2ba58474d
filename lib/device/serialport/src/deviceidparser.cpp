#include "deviceidparser.h"

#include <QStringList>

DeviceIdentity DeviceIdParser::parse(QStringView instanceId)
{
    DeviceIdentity identity;
    if (instanceId.isEmpty() || instanceId.size() > maxLength)
        return identity;
    identity.hasVendorId = hexField(instanceId, u"VID_", &identity.vendorId);
    identity.hasProductId = hexField(instanceId, u"PID_", &identity.productId);
    if (identity.hasVendorId && identity.hasProductId)
        identity.serialNumber = serialFrom(instanceId);
    return identity;
}

// The four hex digits after the tag, bounded by the end or a separator, so
// "VID_04031" or "VID_04G3" count as absent.
bool DeviceIdParser::hexField(QStringView id, QStringView tag, quint16* value)
{
    const qsizetype at = id.indexOf(tag, 0, Qt::CaseInsensitive);
    if (at < 0)
        return false;
    const qsizetype start = at + tag.size();
    if (start + 4 > id.size())
        return false;
    if (start + 4 < id.size()) {
        const QChar next = id.at(start + 4);
        if (next != u'&' && next != u'+' && next != u'\\')
            return false;
    }
    quint16 result = 0;
    for (qsizetype i = start; i < start + 4; ++i) {
        const char16_t c = id.at(i).unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return false;
        result = static_cast<quint16>(result * 16 + digit);
    }
    *value = result;
    return true;
}

QString DeviceIdParser::serialFrom(QStringView id)
{
    const QList<QStringView> parts = id.split(u'\\');
    if (parts.size() != 3)
        return {};
    QStringView serial;
    if (parts.at(0).compare(u"USB", Qt::CaseInsensitive) == 0) {
        // Without a serial number in the device the system makes one up
        // ("6&2A3B4C5D&0&2"): that one has '&' in it and is no serial number.
        serial = parts.at(2);
        if (serial.contains(u'&'))
            return {};
    } else if (parts.at(0).compare(u"FTDIBUS", Qt::CaseInsensitive) == 0) {
        const QList<QStringView> fields = parts.at(1).split(u'+');
        if (fields.size() != 3)
            return {};
        // The driver appends the chip's port letter to the device's serial
        // number; single-port chips have port A only.
        serial = fields.at(2);
        if (serial.endsWith(u'A'))
            serial.chop(1);
    } else {
        return {};
    }
    return plausibleSerial(serial) ? serial.toString() : QString();
}

bool DeviceIdParser::plausibleSerial(QStringView serial)
{
    if (serial.isEmpty() || serial.size() > maxSerialLength)
        return false;
    for (const QChar c : serial) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')
                             || u == u'_' || u == u'-' || u == u'.';
        if (!allowed)
            return false;
    }
    return true;
}
