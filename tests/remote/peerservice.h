#pragma once

#include "analyzer.grpc.pb.h"

#include <grpcpp/support/server_callback.h>

// The test server's behaviour:
// - SendTelemetry answers status = the summed UTF-8 lengths of all fields;
// - the version methods answer JSON naming the method, the version and the
//   request's "x-ulvex-test" metadata; a negative version first waits that
//   many milliseconds (or until the call is cancelled);
// - GetIntegrityList with version 666 answers bytes that do not decode;
// - DownloadFile streams `version` bytes in chunks of 16 KiB, byte i being
//   (i * 7 + length of the file name) mod 256, at the pace the client takes
//   them (DownloadWriter); the file "missing" fails with NOT_FOUND, "stall"
//   sends its first chunk and then nothing, "bad chunk" follows its first
//   chunk with one that does not decode and ends OK, "one chunk" sends the
//   whole file as one message.
// Every reply carries the initial metadata "x-ulvex-server: peer".
using PeerServiceBase = analyzer::Analyzer::WithRawCallbackMethod_DownloadFile<
    analyzer::Analyzer::WithRawCallbackMethod_GetIntegrityList<analyzer::Analyzer::Service>>;
class PeerService final : public PeerServiceBase {
public:
    grpc::Status SendTelemetry(grpc::ServerContext* context, const analyzer::TelemetryRequest* request,
                               analyzer::TelemetryReply* reply) override;
    grpc::Status GetVersion(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                            analyzer::JsonReply* reply) override;
    grpc::Status GetVersionHistory(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                                   analyzer::JsonReply* reply) override;
    grpc::ServerUnaryReactor* GetIntegrityList(grpc::CallbackServerContext* context, const grpc::ByteBuffer* request,
                                               grpc::ByteBuffer* reply) override;
    grpc::ServerWriteReactor<grpc::ByteBuffer>* DownloadFile(grpc::CallbackServerContext* context,
                                                             const grpc::ByteBuffer* request) override;

private:
    grpc::Status versionReply(const char* method, grpc::ServerContextBase* context,
                              const analyzer::VersionRequest* request, analyzer::JsonReply* reply);
};
