#include "QtProtobuf/qprotobufserializer.h"

#include "QtProtobuf/qprotobufmessage.h"
#include "QtProtobuf/qtprotobuftypes.h"
#include "wirereader.h"

#include <QMetaProperty>
#include <QStringDecoder>
#include <cmath>
#include <cstring>

namespace {
void putVarint(QByteArray& out, quint64 value)
{
    while (value >= 0x80) {
        out.append(char((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}

void putTag(QByteArray& out, int fieldNumber, WireType type)
{
    putVarint(out, (quint64(fieldNumber) << 3) | type);
}

template<typename T>
void putFixed(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T)); // the wire is little-endian, as is every host we build for
    out.append(bytes, sizeof(T));
}

// The wire kind of a property type: the wrapped integers count as their plain type.
int kindOf(QMetaType type)
{
    if (type == QMetaType::fromType<QtProtobuf::int32>())
        return QMetaType::Int;
    if (type == QMetaType::fromType<QtProtobuf::int64>())
        return QMetaType::LongLong;
    return type.id();
}

// The value in a plain type for the wrapped integers, as it is otherwise.
QVariant plain(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QtProtobuf::int32>())
        return int(value.value<QtProtobuf::int32>().t);
    if (value.metaType() == QMetaType::fromType<QtProtobuf::int64>())
        return qint64(value.value<QtProtobuf::int64>().t);
    return value;
}

// A plain value in the property's own type.
QVariant typed(QMetaType type, QVariant value)
{
    if (type == QMetaType::fromType<QtProtobuf::int32>())
        return QVariant::fromValue(QtProtobuf::int32(value.toInt()));
    if (type == QMetaType::fromType<QtProtobuf::int64>())
        return QVariant::fromValue(QtProtobuf::int64(value.toLongLong()));
    return value;
}

bool isDefault(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString: return value.toString().isEmpty();
    case QMetaType::QByteArray: return value.toByteArray().isEmpty();
    case QMetaType::Bool: return !value.toBool();
    case QMetaType::Double: return value.toDouble() == 0.0 && !std::signbit(value.toDouble());
    case QMetaType::Float: return value.toFloat() == 0.0f && !std::signbit(value.toFloat());
    default: return value.toULongLong() == 0;
    }
}
} // namespace

QAbstractProtobufSerializer::~QAbstractProtobufSerializer() = default;

QByteArray QAbstractProtobufSerializer::serialize(const QProtobufMessage* message) const
{
    return serializeMessage(message);
}

bool QAbstractProtobufSerializer::deserialize(QProtobufMessage* message, QByteArrayView data) const
{
    return deserializeMessage(message, data);
}

QProtobufSerializer::QProtobufSerializer() = default;
QProtobufSerializer::~QProtobufSerializer() = default;

bool QProtobufSerializer::fail(Error code, const QString& text) const
{
    error = code;
    errorText = text;
    return false;
}

QByteArray QProtobufSerializer::serializeMessage(const QProtobufMessage* message) const
{
    error = Error::None;
    errorText.clear();
    QByteArray out;
    if (!message || !message->metaObject() || !message->propertyOrdering()) {
        fail(Error::InvalidHeader, QStringLiteral("not a protobuf message"));
        return out;
    }
    const QMetaObject* meta = message->metaObject();
    const auto* ordering = message->propertyOrdering();
    for (int i = 0; i < ordering->fieldCount(); ++i) {
        const QMetaProperty property = meta->property(meta->propertyOffset() + ordering->propertyIndex(i));
        const QVariant value = plain(property.readOnGadget(message));
        if (isDefault(value))
            continue;
        const int number = ordering->fieldNumber(i);
        switch (value.metaType().id()) {
        case QMetaType::QString: {
            const QByteArray utf8 = value.toString().toUtf8();
            putTag(out, number, LengthDelimited);
            putVarint(out, quint64(utf8.size()));
            out.append(utf8);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            putTag(out, number, LengthDelimited);
            putVarint(out, quint64(bytes.size()));
            out.append(bytes);
            break;
        }
        case QMetaType::Int:
            // Negative int32 values go out sign-extended to 64 bits.
            putTag(out, number, Varint);
            putVarint(out, quint64(qint64(value.toInt())));
            break;
        case QMetaType::LongLong:
            putTag(out, number, Varint);
            putVarint(out, quint64(value.toLongLong()));
            break;
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            putTag(out, number, Varint);
            putVarint(out, value.toULongLong());
            break;
        case QMetaType::Double:
            putTag(out, number, Fixed64);
            putFixed(out, value.toDouble());
            break;
        case QMetaType::Float:
            putTag(out, number, Fixed32);
            putFixed(out, value.toFloat());
            break;
        default:
            fail(Error::UnknownType, QStringLiteral("field %1 has an unsupported type %2").arg(number).arg(QLatin1StringView(value.metaType().name())));
            return {};
        }
    }
    return out;
}

bool QProtobufSerializer::deserializeMessage(QProtobufMessage* message, QByteArrayView data) const
{
    error = Error::None;
    errorText.clear();
    if (!message || !message->metaObject() || !message->propertyOrdering())
        return fail(Error::InvalidHeader, QStringLiteral("not a protobuf message"));
    const QMetaObject* meta = message->metaObject();
    const auto* ordering = message->propertyOrdering();
    // A message read into replaces what it held, as with protobuf.
    for (int i = 0; i < ordering->fieldCount(); ++i) {
        const QMetaProperty property = meta->property(meta->propertyOffset() + ordering->propertyIndex(i));
        property.writeOnGadget(message, QVariant(property.metaType()));
    }
    WireReader reader(data);
    while (!reader.atEnd()) {
        quint64 tag = 0;
        if (!reader.varint(tag))
            return fail(Error::UnexpectedEndOfStream, QStringLiteral("truncated field header"));
        const quint64 number = tag >> 3;
        const auto wire = quint32(tag & 7);
        if (number == 0 || number > 536870911)
            return fail(Error::InvalidHeader, QStringLiteral("invalid field number"));
        quint64 scalar = 0;
        QByteArrayView payload;
        switch (wire) {
        case Varint:
            if (!reader.varint(scalar))
                return fail(Error::UnexpectedEndOfStream, QStringLiteral("truncated varint"));
            break;
        case Fixed64:
        case Fixed32: {
            if (!reader.bytes(wire == Fixed64 ? 8 : 4, payload))
                return fail(Error::UnexpectedEndOfStream, QStringLiteral("truncated fixed-size field"));
            break;
        }
        case LengthDelimited: {
            quint64 length = 0;
            if (!reader.varint(length))
                return fail(Error::UnexpectedEndOfStream, QStringLiteral("truncated length"));
            if (length > quint64(data.size()) || !reader.bytes(qsizetype(length), payload))
                return fail(Error::UnexpectedEndOfStream, QStringLiteral("length beyond the end of the data"));
            break;
        }
        case StartGroup:
            // No field of ours is a group: skipped whole, as protobuf skips unknown fields.
            if (!reader.skipGroup(number))
                return fail(Error::UnexpectedEndOfStream, QStringLiteral("group %1 does not end").arg(number));
            continue;
        default: // an end of group that nothing opened, or wire types 6 and 7
            return fail(Error::InvalidFormat, QStringLiteral("unexpected wire type %1").arg(wire));
        }

        const int index = ordering->indexOfFieldNumber(int(number));
        if (index < 0)
            continue; // unknown field: skipped
        const QMetaProperty property = meta->property(meta->propertyOffset() + ordering->propertyIndex(index));
        QVariant value;
        const int type = kindOf(property.metaType());
        if ((type == QMetaType::QString || type == QMetaType::QByteArray) != (wire == LengthDelimited))
            continue; // another wire type than the field's: kept out, as protobuf does
        switch (type) {
        case QMetaType::QString: {
            QStringDecoder decoder(QStringDecoder::Utf8);
            const QString text = decoder(payload);
            if (decoder.hasError())
                return fail(Error::InvalidFormat, QStringLiteral("string field %1 is not UTF-8").arg(number));
            value = text;
            break;
        }
        case QMetaType::QByteArray: value = payload.toByteArray(); break;
        case QMetaType::Int:
            if (wire != Varint) continue;
            value = int(qint32(quint32(scalar))); // protobuf keeps the low 32 bits
            break;
        case QMetaType::LongLong:
            if (wire != Varint) continue;
            value = qint64(scalar);
            break;
        case QMetaType::UInt:
            if (wire != Varint) continue;
            value = quint32(scalar);
            break;
        case QMetaType::ULongLong:
            if (wire != Varint) continue;
            value = quint64(scalar);
            break;
        case QMetaType::Bool:
            if (wire != Varint) continue;
            value = scalar != 0;
            break;
        case QMetaType::Double: {
            if (wire != Fixed64) continue;
            double d = 0;
            std::memcpy(&d, payload.data(), sizeof d);
            value = d;
            break;
        }
        case QMetaType::Float: {
            if (wire != Fixed32) continue;
            float f = 0;
            std::memcpy(&f, payload.data(), sizeof f);
            value = f;
            break;
        }
        default:
            return fail(Error::UnknownType, QStringLiteral("field %1 has an unsupported type").arg(number));
        }
        if (!property.writeOnGadget(message, typed(property.metaType(), std::move(value))))
            return fail(Error::InvalidFormat, QStringLiteral("field %1 could not be set").arg(number));
    }
    return true;
}
