// Stream detection of the device: what a run of received reads does to the
// device's state. Each record of the input is one read:
//   [gap] [kind] ...   gap: time since the last counted frame, in 2 ms steps
//   kind even: a well-formed frame from the next 17 bytes (status, body)
//   kind odd:  (kind >> 1) % 48 raw bytes, kept until they complete a frame
#include "device/v2device.h"
#include "device/v2frame.h"

#include <QByteArray>
#include <QCoreApplication>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class FuzzDevice : public V2Device {
public:
    void receive(const QByteArray& bytes, int msSinceLast)
    {
        lastFrameTicks = currentTicks() - static_cast<qint64>(msSinceLast) * 10000;
        // What readyRead() does with one read.
        for (const QByteArray& frame : assembler.feed(bytes))
            processFrame(frame);
    }
    bool streaming() const { return sensorRunning; }
    static unsigned slowFrames() { return slowFrameCount; }
    static void restart() { slowFrameCount = 0; }
};

QByteArray frameFrom(const std::uint8_t* bytes)
{
    QByteArray frame("*/");
    frame.append(reinterpret_cast<const char*>(bytes), 1 + V2Frame::bodySize);
    frame.append(static_cast<char>(V2Frame::checksum(frame)));
    frame.append("#\n\r");
    return frame;
}

} // namespace

// Data frames arm the device's silence timer, which needs an application.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzDevice::restart();
    FuzzDevice device;
    std::size_t at = 0;
    bool wasStreaming = false;
    while (at + 2 <= size) {
        const int gapMs = data[at] * 2;
        const std::uint8_t kind = data[at + 1];
        at += 2;
        QByteArray read;
        if (kind % 2 == 0) {
            if (at + 1 + V2Frame::bodySize > size)
                break;
            read = frameFrom(data + at);
            at += 1 + V2Frame::bodySize;
            if (!V2Frame::isValid(read))
                std::abort();
        } else {
            const std::size_t length = std::min<std::size_t>((kind >> 1) % 48, size - at);
            read = QByteArray(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(length));
            at += length;
        }
        device.receive(read, gapMs);
        // At most two slow frames wait to be counted; a recognised stream stays.
        if (FuzzDevice::slowFrames() > 2 || (wasStreaming && !device.streaming()))
            std::abort();
        wasStreaming = device.streaming();
    }
    return 0;
}
