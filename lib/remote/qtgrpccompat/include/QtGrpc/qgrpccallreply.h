#pragma once

#include "qgrpcoperation.h"
#include "ulvex_export.h"

// A unary call: one response message, then `finished`.
class ULVEX_EXPORT QGrpcCallReply final : public QGrpcOperation {
    Q_OBJECT
public:
    explicit QGrpcCallReply(QLatin1StringView method, QObject* parent = nullptr);
    ~QGrpcCallReply() override;
};
