#pragma once

#include <QByteArray>
#include <QHash>
#include <chrono>
#include <grpcpp/client_context.h>
#include <grpcpp/generic/generic_stub.h>
#include <grpcpp/support/byte_buffer.h>
#include <grpcpp/support/client_callback.h>
#include <memory>
#include <optional>
#include <string>

class GrpcCallLink;

// One call on gRPC's callback API: writes the request, half-closes, reads
// the responses and reports each to the operation through its link, which
// paces the reading. It deletes itself when gRPC reports the call done.
// Unary and server-streaming calls look alike on the wire, so both use this
// one reactor; a unary call that gets a second response fails.
class GrpcCallReactor final : public grpc::ClientBidiReactor<grpc::ByteBuffer, grpc::ByteBuffer> {
public:
    GrpcCallReactor(std::shared_ptr<GrpcCallLink> link, bool unary);

    void start(grpc::GenericStub& stub, const std::string& path, const QByteArray& request,
               std::optional<std::chrono::milliseconds> deadline, const QHash<QByteArray, QByteArray>& metadata);

    void OnReadInitialMetadataDone(bool ok) override;
    void OnReadDone(bool ok) override;
    void OnDone(const grpc::Status& status) override;
    // Reads the next response after the link held the call for the operation.
    void resumeReading();

private:
    std::shared_ptr<GrpcCallLink> link;
    std::shared_ptr<grpc::ClientContext> context = std::make_shared<grpc::ClientContext>();
    grpc::ByteBuffer requestBuffer;
    grpc::ByteBuffer responseBuffer;
    const bool unary;
    int responses = 0;
    bool secondReply = false; // a unary call got more than one response
};
