#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QProtobufMessage;


class ULVEX_EXPORT QAbstractProtobufSerializer {
public:
    enum class Error : uint8_t {
        None,
        InvalidHeader,
        UnknownType,
        NoData,
        InvalidFormat,
        UnexpectedEndOfStream,
    };

    virtual ~QAbstractProtobufSerializer();
    QByteArray serialize(const QProtobufMessage* message) const;
    bool deserialize(QProtobufMessage* message, QByteArrayView data) const;
    virtual Error lastError() const = 0;
    virtual QString lastErrorString() const = 0;

protected:
    virtual QByteArray serializeMessage(const QProtobufMessage* message) const = 0;
    virtual bool deserializeMessage(QProtobufMessage* message, QByteArrayView data) const = 0;
};

// The protobuf binary wire format, for the scalar, string and bytes fields
// that our messages carry. Parsing is bounded by the input and rejects
// truncated or malformed data; unknown fields are skipped.
class ULVEX_EXPORT QProtobufSerializer : public QAbstractProtobufSerializer {
public:
    QProtobufSerializer();
    ~QProtobufSerializer() override;

    Error lastError() const override { return error; }
    QString lastErrorString() const override { return errorText; }
    // Qt 6.8 names of the same.
    Error deserializationError() const { return error; }
    QString deserializationErrorString() const { return errorText; }

protected:
    QByteArray serializeMessage(const QProtobufMessage* message) const override;
    bool deserializeMessage(QProtobufMessage* message, QByteArrayView data) const override;

private:
    bool fail(Error code, const QString& text) const;

    mutable Error error = Error::None;
    mutable QString errorText;
};
