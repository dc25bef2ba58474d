// Registers the remote service's message types with the meta-type and
// protobuf registries during static initialisation, before main runs.
#include "analyzer.qpb.h"

#include <QtProtobuf/qprotobufregistration.h>

namespace {
// Qt's own generated code (in the library, whose static initialisation runs
// before ours) registers its messages too, and Qt warns on the console about
// each type registered twice: register only what nobody has registered yet.
template<typename T>
void registerOnce()
{
    if (!QMetaType::fromName(QMetaType::fromType<T>().name()).isValid())
        qRegisterProtobufType<T>();
}

const bool messageTypes = [] {
    registerOnce<analyzer::TelemetryRequest>();
    registerOnce<analyzer::TelemetryReply>();
    registerOnce<analyzer::VersionRequest>();
    registerOnce<analyzer::JsonReply>();
    registerOnce<analyzer::DownloadRequest>();
    registerOnce<analyzer::DownloadChunk>();
    qRegisterProtobufTypes();
    return true;
}();
} // namespace
