#include "QtProtobuf/qprotobufmessage.h"

#include "QtProtobuf/qprotobufserializer.h"
#include "protobufregistry.h"

#include <QMetaProperty>
#include <QSharedData>

class QProtobufMessagePrivate : public QSharedData {
public:
    const QMetaObject* metaObject = nullptr;
    const QtProtobufPrivate::QProtobufPropertyOrdering* ordering = nullptr;
};

int QtProtobufPrivate::QProtobufPropertyOrdering::indexOfFieldNumber(int fieldNumber) const
{
    for (int i = 0; i < numFields; ++i) {
        if (fields[i].fieldNumber == fieldNumber)
            return i;
    }
    return -1;
}

void QProtobufMessageDeleter::operator()(QProtobufMessage* message) const
{
    if (message)
        message->metaObject()->metaType().destroy(message);
}

QProtobufMessage::QProtobufMessage(const QMetaObject* metaObject, const QtProtobufPrivate::QProtobufPropertyOrdering* ordering)
    : d_ptr(new QProtobufMessagePrivate)
{
    d_ptr->metaObject = metaObject;
    d_ptr->ordering = ordering;
}

QProtobufMessage::~QProtobufMessage() = default;
QProtobufMessage::QProtobufMessage(const QProtobufMessage& other) = default;
QProtobufMessage::QProtobufMessage(QProtobufMessage&& other) noexcept = default;
QProtobufMessage& QProtobufMessage::operator=(const QProtobufMessage& other) = default;
QProtobufMessage& QProtobufMessage::operator=(QProtobufMessage&& other) noexcept = default;

const QMetaObject* QProtobufMessage::metaObject() const
{
    return d_ptr ? d_ptr->metaObject : nullptr;
}

const QtProtobufPrivate::QProtobufPropertyOrdering* QProtobufMessage::propertyOrdering() const
{
    return d_ptr ? d_ptr->ordering : nullptr;
}

namespace {
QMetaProperty findProperty(const QMetaObject* metaObject, QAnyStringView name)
{
    if (!metaObject)
        return {};
    const int index = metaObject->indexOfProperty(name.toString().toUtf8().constData());
    return index < 0 ? QMetaProperty() : metaObject->property(index);
}
} // namespace

QVariant QProtobufMessage::property(QAnyStringView propertyName) const
{
    const QMetaProperty property = findProperty(metaObject(), propertyName);
    return property.isValid() ? property.readOnGadget(this) : QVariant();
}

bool QProtobufMessage::setProperty(QAnyStringView propertyName, const QVariant& value)
{
    const QMetaProperty property = findProperty(metaObject(), propertyName);
    return property.isValid() && property.writeOnGadget(this, value);
}

bool QProtobufMessage::setProperty(QAnyStringView propertyName, QVariant&& value)
{
    const QMetaProperty property = findProperty(metaObject(), propertyName);
    return property.isValid() && property.writeOnGadget(this, std::move(value));
}

QProtobufMessagePointer QProtobufMessage::constructByName(const QString& messageType)
{
    const QMetaType type = QtProtobufPrivate::registeredMessageType(messageType);
    if (!type.isValid())
        return {};
    return QProtobufMessagePointer(static_cast<QProtobufMessage*>(type.create()));
}

bool comparesEqual(const QProtobufMessage& lhs, const QProtobufMessage& rhs) noexcept
{
    return lhs.metaObject() == rhs.metaObject();
}

QByteArray QProtobufMessage::serialize(QAbstractProtobufSerializer* serializer) const
{
    return serializer ? serializer->serialize(this) : QByteArray();
}

bool QProtobufMessage::deserialize(QAbstractProtobufSerializer* serializer, QByteArrayView data)
{
    return serializer && serializer->deserialize(this, data);
}
