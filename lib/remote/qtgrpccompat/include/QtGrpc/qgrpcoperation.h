#pragma once

#include "QtProtobuf/qprotobufmessage.h"
#include "qgrpcstatus.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QHash>
#include <QLatin1StringView>
#include <QObject>
#include <memory>
#include <optional>

class GrpcCallLink;

// One call on a channel: holds the latest message received and the final
// status. Lives on the thread that started the call; the transport reports
// to it there.
class ULVEX_EXPORT QGrpcOperation : public QObject {
    Q_OBJECT
public:
    ~QGrpcOperation() override;

    template<typename T>
    std::optional<T> read() const
    {
        T message;
        if (!read(&message))
            return std::nullopt;
        return message;
    }
    // Deserialises the latest message into `message`; false when there is
    // none or it does not parse.
    bool read(QProtobufMessage* message) const;

    // The server's initial metadata, once it arrived.
    const QHash<QByteArray, QByteArray>& metadata() const& noexcept { return serverMetadata; }
    void metadata() const&& = delete;
    QLatin1StringView method() const noexcept { return QLatin1StringView(methodName); }
    bool isFinished() const noexcept { return done; }

public slots:
    // Ends the call at once with the status Cancelled.
    void cancel();

signals:
    void finished(const QGrpcStatus& status);

protected:
    QGrpcOperation(QLatin1StringView method, QObject* parent = nullptr);
    // Keeps the latest message; a stream also announces it.
    virtual void onMessage(QByteArray message);

private:
    friend class QGrpcClientBase;
    friend class Http2Transport;
    friend class GrpcCallLink;
    friend class GrpcCallReactor;
    void onMetadata(QHash<QByteArray, QByteArray> metadata);
    void onFinished(const QGrpcStatus& status);

    QByteArray methodName;
    QByteArray lastMessage;
    QHash<QByteArray, QByteArray> serverMetadata;
    bool done = false;
    std::shared_ptr<GrpcCallLink> link; // the transport's side of the call
};
