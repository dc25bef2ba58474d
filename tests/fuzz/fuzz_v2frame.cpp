// The device's 23-byte frame check on any bytes a read may bring.
#include "device/v2frame.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool valid = V2Frame::isValid(bytes);
    // Worked out again from the frame layout, independently of the code under test.
    bool expected = size == V2Frame::size;
    if (expected) {
        unsigned sum = 0;
        for (int i = V2Frame::commandOffset; i < V2Frame::checksumOffset; ++i)
            sum += data[i];
        expected = data[0] == '*' && data[1] == '/' && data[19] == (sum & 0xFF) && data[20] == '#'
            && data[21] == '\n' && data[22] == '\r';
    }
    if (valid != expected)
        std::abort();
    return 0;
}
