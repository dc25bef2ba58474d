#include "peerservice.h"

#include <chrono>
#include <thread>

grpc::Status PeerService::SendTelemetry(grpc::ServerContext* context, const analyzer::TelemetryRequest* request,
                                        analyzer::TelemetryReply* reply)
{
    context->AddInitialMetadata("x-ulvex-server", "peer");
    reply->set_status(int(request->ipaddress().size() + request->osinfo().size() + request->computerinfo().size()
                          + request->analyzerversion().size() + request->analyzerid().size()
                          + request->ftdiserial().size() + request->backendversion().size()));
    return grpc::Status::OK;
}

grpc::Status PeerService::versionReply(const char* method, grpc::ServerContext* context,
                                       const analyzer::VersionRequest* request, analyzer::JsonReply* reply)
{
    context->AddInitialMetadata("x-ulvex-server", "peer");
    if (request->version() < 0) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(-request->version());
        while (std::chrono::steady_clock::now() < until && !context->IsCancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string metadata;
    const auto found = context->client_metadata().find("x-ulvex-test");
    if (found != context->client_metadata().end())
        metadata.assign(found->second.data(), found->second.size());
    reply->set_versionlist("{\"method\":\"" + std::string(method) + "\",\"version\":" + std::to_string(request->version())
                           + ",\"metadata\":\"" + metadata + "\"}");
    return grpc::Status::OK;
}

grpc::Status PeerService::GetVersion(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                                     analyzer::JsonReply* reply)
{
    return versionReply("GetVersion", context, request, reply);
}

grpc::Status PeerService::GetVersionHistory(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                                            analyzer::JsonReply* reply)
{
    return versionReply("GetVersionHistory", context, request, reply);
}

grpc::Status PeerService::GetIntegrityList(grpc::ServerContext* context, const analyzer::VersionRequest* request,
                                           analyzer::JsonReply* reply)
{
    return versionReply("GetIntegrityList", context, request, reply);
}

grpc::Status PeerService::DownloadFile(grpc::ServerContext* context, const analyzer::DownloadRequest* request,
                                       grpc::ServerWriter<analyzer::DownloadChunk>* writer)
{
    context->AddInitialMetadata("x-ulvex-server", "peer");
    if (request->filename() == "missing")
        return grpc::Status(grpc::StatusCode::NOT_FOUND, "no such file: missing");
    const size_t total = request->version() > 0 ? size_t(request->version()) : 0;
    const size_t salt = request->filename().size();
    constexpr size_t chunkSize = 16 * 1024;
    for (size_t at = 0; at < total && !context->IsCancelled(); at += chunkSize) {
        std::string bytes(std::min(chunkSize, total - at), '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = char(((at + i) * 7 + salt) & 0xff);
        analyzer::DownloadChunk chunk;
        chunk.set_buffer(std::move(bytes));
        if (!writer->Write(chunk))
            break;
    }
    return grpc::Status::OK;
}
