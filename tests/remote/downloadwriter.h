#pragma once

#include <grpcpp/support/byte_buffer.h>
#include <grpcpp/support/server_callback.h>

#include <cstddef>
#include <mutex>
#include <string>

// Streams one DownloadFile reply, one chunk at a time as the client takes
// them (gRPC's flow control holds the next write back), and prints
// "progress NAME BYTES" on stdout after every MiB and "sent NAME BYTES" at
// the end, so a test sees how far a server got. The file name picks a
// behaviour (see PeerService). Deletes itself when the call is done.
class DownloadWriter final : public grpc::ServerWriteReactor<grpc::ByteBuffer> {
public:
    DownloadWriter(std::string filename, size_t total);

    void OnWriteDone(bool ok) override;
    void OnCancel() override;
    void OnDone() override;

private:
    void writeNext();
    void write(const std::string& bytes);
    void finish(const grpc::Status& status);

    const std::string filename;
    const size_t total;
    size_t sent = 0;
    size_t reported = 0;
    bool badSent = false;
    std::mutex lock; // OnCancel may run alongside the other reactions
    bool stalled = false;
    bool cancelled = false;
    bool finished = false;
    grpc::ByteBuffer buffer;
};
