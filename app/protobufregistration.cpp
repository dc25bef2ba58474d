// Registers the remote service's message types with the meta-type and
// protobuf registries during static initialisation, before main runs.
#include "analyzer.qpb.h"

#include <QtProtobuf/qprotobufregistration.h>

namespace {
const QtProtobuf::ProtoTypeRegistrar telemetryRequest(qRegisterProtobufType<analyzer::TelemetryRequest>);
const QtProtobuf::ProtoTypeRegistrar telemetryReply(qRegisterProtobufType<analyzer::TelemetryReply>);
const QtProtobuf::ProtoTypeRegistrar versionRequest(qRegisterProtobufType<analyzer::VersionRequest>);
const QtProtobuf::ProtoTypeRegistrar jsonReply(qRegisterProtobufType<analyzer::JsonReply>);
const QtProtobuf::ProtoTypeRegistrar downloadRequest(qRegisterProtobufType<analyzer::DownloadRequest>);
const QtProtobuf::ProtoTypeRegistrar downloadChunk(qRegisterProtobufType<analyzer::DownloadChunk>);
const bool protobufModuleTypes = [] {
    qRegisterProtobufTypes();
    return true;
}();
} // namespace
