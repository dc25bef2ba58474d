#pragma once

#include "qtgrpcnamespace.h"
#include "ulvex_export.h"

#include <QAnyStringView>
#include <QMetaType>
#include <QString>

// The outcome of a call: a status code and the server's or transport's message.
class ULVEX_EXPORT QGrpcStatus {
public:
    QGrpcStatus(QtGrpc::StatusCode code = {}, QAnyStringView message = {})
        : statusCode(code), text(message.toString()) { }

    QtGrpc::StatusCode code() const noexcept { return statusCode; }
    const QString& message() const& noexcept { return text; }
    QString message() && noexcept { return std::move(text); }
    bool isOk() const noexcept { return statusCode == QtGrpc::StatusCode::Ok; }

    // Statuses compare by their code.
    friend bool operator==(const QGrpcStatus& lhs, const QGrpcStatus& rhs) noexcept { return lhs.statusCode == rhs.statusCode; }
    friend bool operator!=(const QGrpcStatus& lhs, const QGrpcStatus& rhs) noexcept { return lhs.statusCode != rhs.statusCode; }
    friend bool operator==(const QGrpcStatus& lhs, QtGrpc::StatusCode rhs) noexcept { return lhs.statusCode == rhs; }
    friend bool operator!=(const QGrpcStatus& lhs, QtGrpc::StatusCode rhs) noexcept { return lhs.statusCode != rhs; }
    friend bool operator==(QtGrpc::StatusCode lhs, const QGrpcStatus& rhs) noexcept { return lhs == rhs.statusCode; }
    friend bool operator!=(QtGrpc::StatusCode lhs, const QGrpcStatus& rhs) noexcept { return lhs != rhs.statusCode; }

private:
    QtGrpc::StatusCode statusCode;
    QString text;
};

Q_DECLARE_METATYPE(QGrpcStatus)
