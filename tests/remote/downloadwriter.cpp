#include "downloadwriter.h"

#include "analyzer.pb.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {
constexpr size_t chunkSize = 16 * 1024;

void announce(const char* what, const std::string& filename, size_t bytes)
{
    static std::mutex lock; // several calls may end at once
    std::lock_guard guard(lock);
    std::printf("%s %s %zu\n", what, filename.c_str(), bytes);
    std::fflush(stdout);
}
} // namespace

DownloadWriter::DownloadWriter(std::string name, size_t size)
    : filename(std::move(name))
    , total(size)
{
    if (filename == "missing")
        finish(grpc::Status(grpc::StatusCode::NOT_FOUND, "no such file: missing"));
    else
        writeNext();
}

void DownloadWriter::finish(const grpc::Status& status)
{
    std::lock_guard guard(lock);
    if (!finished)
        Finish(status);
    finished = true;
}

void DownloadWriter::writeNext()
{
    if (filename == "bad chunk" && sent > 0) {
        if (badSent)
            return finish(grpc::Status::OK); // as if all was well
        badSent = true;
        return write(std::string("\x0a\x7f\x01", 3)); // a bytes field longer than the message
    }
    if (filename == "stall" && sent > 0) {
        bool gone = false;
        {
            std::lock_guard guard(lock);
            stalled = true; // until the client gives up
            gone = cancelled;
        }
        if (gone)
            finish(grpc::Status::CANCELLED);
        return;
    }
    if (sent >= total)
        return finish(grpc::Status::OK);
    // "one chunk": the whole file as a single message.
    const size_t size = filename == "one chunk" ? total : std::min(chunkSize, total - sent);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = char(((sent + i) * 7 + filename.size()) & 0xff);
    analyzer::DownloadChunk chunk;
    chunk.set_buffer(std::move(bytes));
    sent += size;
    write(chunk.SerializeAsString());
}

void DownloadWriter::write(const std::string& bytes)
{
    grpc::Slice slice(bytes);
    buffer = grpc::ByteBuffer(&slice, 1);
    StartWrite(&buffer);
}

void DownloadWriter::OnWriteDone(bool ok)
{
    if (sent - reported >= 1024 * 1024) {
        reported = sent;
        announce("progress", filename, sent);
    }
    if (!ok)
        return finish(grpc::Status(grpc::StatusCode::CANCELLED, "client went away"));
    writeNext();
}

void DownloadWriter::OnCancel()
{
    bool idle = false;
    {
        std::lock_guard guard(lock);
        cancelled = true;
        idle = stalled;
    }
    if (idle)
        finish(grpc::Status::CANCELLED);
}

void DownloadWriter::OnDone()
{
    announce("sent", filename, sent);
    delete this;
}
