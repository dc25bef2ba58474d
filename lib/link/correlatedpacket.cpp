#include "link/correlatedpacket.h"

#include <atomic>

namespace {
std::atomic<correlation_id_t> lastCorrelationId{0};
}

CorrelatedPacket::CorrelatedPacket()
    : correlationId(lastCorrelationId.fetch_add(1, std::memory_order_relaxed) + 1)
    , timestamp(QDateTime::currentDateTime())
{
}

void CorrelatedPacket::registerMetaType()
{
    qRegisterMetaType<CorrelatedPacket>("CorrelatedPacket");
}
