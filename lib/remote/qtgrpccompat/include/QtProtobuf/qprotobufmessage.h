#pragma once

#include "qprotobufpropertyordering.h"
#include "ulvex_export.h"

#include <QAnyStringView>
#include <QByteArrayView>
#include <QExplicitlySharedDataPointer>
#include <QMetaObject>
#include <QVariant>
#include <memory>

class QAbstractProtobufSerializer;
class QProtobufMessage;
class QProtobufMessagePrivate;

struct ULVEX_EXPORT QProtobufMessageDeleter {
    void operator()(QProtobufMessage* message) const;
};
using QProtobufMessagePointer = std::unique_ptr<QProtobufMessage, QProtobufMessageDeleter>;

// Base of every message class: knows the message's meta-object and its
// property-ordering table, through which a serializer reaches the fields.
class ULVEX_EXPORT QProtobufMessage {
    Q_GADGET
public:
    // The value of a field by its property name; invalid when there is none.
    QVariant property(QAnyStringView propertyName) const;
    bool setProperty(QAnyStringView propertyName, const QVariant& value);
    bool setProperty(QAnyStringView propertyName, QVariant&& value);

    // A new default message of a registered type ("analyzer.JsonReply"), or null.
    static QProtobufMessagePointer constructByName(const QString& messageType);

    QByteArray serialize(QAbstractProtobufSerializer* serializer) const;
    bool deserialize(QAbstractProtobufSerializer* serializer, QByteArrayView data);

    const QtProtobufPrivate::QProtobufPropertyOrdering* propertyOrdering() const;

protected:
    explicit QProtobufMessage(const QMetaObject* metaObject, const QtProtobufPrivate::QProtobufPropertyOrdering* ordering);
    ~QProtobufMessage();
    QProtobufMessage(const QProtobufMessage& other);
    QProtobufMessage(QProtobufMessage&& other) noexcept;
    QProtobufMessage& operator=(const QProtobufMessage& other);
    QProtobufMessage& operator=(QProtobufMessage&& other) noexcept;
    void swap(QProtobufMessage& other) noexcept { d_ptr.swap(other.d_ptr); }

private:
    friend class QProtobufSerializer;
    friend struct QProtobufMessageDeleter;
    const QMetaObject* metaObject() const;
    // Same type; the fields are compared by the generated classes.
    friend ULVEX_EXPORT bool comparesEqual(const QProtobufMessage& lhs, const QProtobufMessage& rhs) noexcept;
    friend bool operator==(const QProtobufMessage& lhs, const QProtobufMessage& rhs) noexcept { return comparesEqual(lhs, rhs); }
    friend bool operator!=(const QProtobufMessage& lhs, const QProtobufMessage& rhs) noexcept { return !comparesEqual(lhs, rhs); }
    QExplicitlySharedDataPointer<QProtobufMessagePrivate> d_ptr;
};
