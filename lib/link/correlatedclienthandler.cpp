#include "link/correlatedclienthandler.h"

#include "link/requesttracker.h"

CorrelatedClientHandler::CorrelatedClientHandler(QObject* parent)
    : QObject(parent)
    , requestTracker(new RequestTracker(this))
{
    CorrelatedPacket::registerMetaType();
}
