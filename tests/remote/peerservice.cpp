#include "peerservice.h"

#include "downloadwriter.h"

#include <chrono>
#include <thread>
#include <vector>

namespace {
std::string bytesOf(const grpc::ByteBuffer& buffer)
{
    std::vector<grpc::Slice> slices;
    std::string bytes;
    if (buffer.Dump(&slices).ok()) {
        for (const grpc::Slice& slice : slices)
            bytes.append(reinterpret_cast<const char*>(slice.begin()), slice.size());
    }
    return bytes;
}
} // namespace

grpc::Status PeerService::SendTelemetry(grpc::ServerContext* context, const analyzer::TelemetryRequest* request,
                                        analyzer::TelemetryReply* reply)
{
    context->AddInitialMetadata("x-ulvex-server", "peer");
    reply->set_status(int(request->ipaddress().size() + request->osinfo().size() + request->computerinfo().size()
                          + request->analyzerversion().size() + request->analyzerid().size()
                          + request->ftdiserial().size() + request->backendversion().size()));
    return grpc::Status::OK;
}

grpc::Status PeerService::versionReply(const char* method, grpc::ServerContextBase* context,
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

grpc::ServerUnaryReactor* PeerService::GetIntegrityList(grpc::CallbackServerContext* context,
                                                        const grpc::ByteBuffer* request, grpc::ByteBuffer* reply)
{
    analyzer::VersionRequest parsed;
    parsed.ParseFromString(bytesOf(*request));
    grpc::Status status = grpc::Status::OK;
    std::string bytes("\x0a\x7f\x01", 3); // a string field longer than the message
    if (parsed.version() != 666) {
        analyzer::JsonReply json;
        status = versionReply("GetIntegrityList", context, &parsed, &json);
        bytes = json.SerializeAsString();
    }
    grpc::Slice slice(bytes);
    *reply = grpc::ByteBuffer(&slice, 1);
    grpc::ServerUnaryReactor* reactor = context->DefaultReactor();
    reactor->Finish(status);
    return reactor;
}

grpc::ServerWriteReactor<grpc::ByteBuffer>* PeerService::DownloadFile(grpc::CallbackServerContext* context,
                                                                       const grpc::ByteBuffer* request)
{
    analyzer::DownloadRequest parsed;
    if (!parsed.ParseFromString(bytesOf(*request)))
        parsed.Clear(); // an empty file
    context->AddInitialMetadata("x-ulvex-server", "peer");
    return new DownloadWriter(parsed.filename(), parsed.version() > 0 ? size_t(parsed.version()) : 0);
}
