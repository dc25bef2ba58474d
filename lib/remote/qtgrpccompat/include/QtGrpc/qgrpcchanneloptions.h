#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QHash>
#include <QSslConfiguration>
#include <chrono>
#include <optional>

// Settings of a channel: the default deadline and metadata of its calls and
// the TLS configuration (client certificate, key and trusted authorities).
class ULVEX_EXPORT QGrpcChannelOptions {
public:
    QGrpcChannelOptions& setDeadlineTimeout(std::chrono::milliseconds timeout);
    std::optional<std::chrono::milliseconds> deadlineTimeout() const noexcept { return deadline; }

    QGrpcChannelOptions& setMetadata(const QHash<QByteArray, QByteArray>& metadata);
    QGrpcChannelOptions& setMetadata(QHash<QByteArray, QByteArray>&& metadata);
    const QHash<QByteArray, QByteArray>& metadata() const& noexcept { return values; }

    QGrpcChannelOptions& setSslConfiguration(const QSslConfiguration& configuration);
    std::optional<QSslConfiguration> sslConfiguration() const { return ssl; }

private:
    std::optional<std::chrono::milliseconds> deadline;
    QHash<QByteArray, QByteArray> values;
    std::optional<QSslConfiguration> ssl;
};
