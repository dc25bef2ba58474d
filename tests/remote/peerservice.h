#pragma once

#include "analyzer.grpc.pb.h"

// The test server's behaviour:
// - SendTelemetry answers status = the summed UTF-8 lengths of all fields;
// - the version methods answer JSON naming the method, the version and the
//   request's "x-ulvex-test" metadata; a negative version first waits that
//   many milliseconds (or until the call is cancelled);
// - DownloadFile streams `version` bytes in chunks of 16 KiB, byte i being
//   (i * 7 + length of the file name) mod 256; the file "missing" fails with
//   NOT_FOUND.
// Every reply carries the initial metadata "x-ulvex-server: peer".
class PeerService final : public analyzer::Analyzer::Service {
public:
    grpc::Status SendTelemetry(grpc::ServerContext* context, const analyzer::TelemetryRequest* request,
                               analyzer::TelemetryReply* reply) override;
    grpc::Status GetVersion(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                            analyzer::JsonReply* reply) override;
    grpc::Status GetVersionHistory(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                                   analyzer::JsonReply* reply) override;
    grpc::Status GetIntegrityList(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                                  analyzer::JsonReply* reply) override;
    grpc::Status DownloadFile(grpc::ServerContext* context, const analyzer::DownloadRequest* request,
                              grpc::ServerWriter<analyzer::DownloadChunk>* writer) override;

private:
    grpc::Status versionReply(const char* method, grpc::ServerContext* context,
                              const analyzer::VersionRequest* request, analyzer::JsonReply* reply);
};
