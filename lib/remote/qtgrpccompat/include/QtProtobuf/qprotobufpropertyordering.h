#pragma once

#include "ulvex_export.h"

#include <QFlags>
#include <QUtf8StringView>
#include <QtGlobal>

namespace QtProtobufPrivate {

enum class FieldFlag : uint {
    NoFlags = 0x0,
    NonPacked = 0x1,
    Oneof = 0x02,
    Optional = 0x04,
    ExplicitPresence = 0x08,
    Message = 0x10,
    Enum = 0x20,
    Repeated = 0x40,
    Map = 0x80,
};
Q_DECLARE_FLAGS(FieldFlags, FieldFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(FieldFlags)

// The wire layout of a message: its full name and, per field in field order,
// the JSON name, field number, meta-object property index and flags.
struct ULVEX_EXPORT QProtobufPropertyOrdering {
    struct Field {
        const char* jsonName;
        int fieldNumber;
        int propertyIndex;
        uint flags;
    };

    const char* fullName;
    const Field* fields;
    int numFields;

    QUtf8StringView messageFullName() const { return QUtf8StringView(fullName); }
    QUtf8StringView jsonName(int index) const { return QUtf8StringView(fields[index].jsonName); }
    int fieldNumber(int index) const { return fields[index].fieldNumber; }
    int propertyIndex(int index) const { return fields[index].propertyIndex; }
    FieldFlags fieldFlags(int index) const { return FieldFlags::fromInt(fields[index].flags); }
    // -1 when the message has no such field.
    int indexOfFieldNumber(int fieldNumber) const;
    int fieldCount() const { return numFields; }
};

} // namespace QtProtobufPrivate
