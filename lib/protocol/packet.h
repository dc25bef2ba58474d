#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <climits>

// Operation codes of the frontend protocol (first byte of every packet).
enum class opcodes : quint8 {
    initialization = 0,
    device_state = 1,
    start_measure = 2,
    state_measure = 3,
    correctness_measure = 4,
    end_measure = 5,
    save_measure = 6,
    saving_progress = 7,
    exit = 8,
    error = 9,
    abort = 10,
    set_db = 11,
    ping = 12,
    unknown = 13,
};

// Status codes carried in the payload; also the device's initialization error type.
enum class status_codes : quint32 {
    ok = 0,
    service_ready = 100,
    software_closing = 104,
    device_initialized = 200,
    device_not_initialized = 201,
    device_not_connected = 202,
    device_connected = 203,
    device_error = 205,
    measurement_started = 300,
    measurement_not_started = 301,
    measurement_in_progress = 302,
    measurement_finished = 303,
    measurement_saved = 304,
    measurement_discarded = 305,
    measurement_cannot_save = 306,
    measurement_saving_in_progress = 307,
    measurement_calibration_error = 308,
    database_missing = 400,
    database_dynamic_path = 401,
    unknown_packet = 900,
};

// Codes sent with opcode `error` that have no name of their own.
namespace error_codes {
inline constexpr qint32 no_handler = 102;
inline constexpr qint32 handler_exception = 103;
} // namespace error_codes

// Highest opcode that may have a handler; anything above is an unknown packet.
inline constexpr quint8 lastValidOpcode = 12;

// Longest `set_db` path accepted, in UTF-8 bytes: the system's path limit
// without its terminator.
#ifdef PATH_MAX
inline constexpr qsizetype maxDbPathBytes = PATH_MAX - 1;
#else
inline constexpr qsizetype maxDbPathBytes = 4095;
#endif

struct Packet {
    opcodes opcode = opcodes::initialization;
    qint32 payload = 0;
};

// 5 bytes: signed 8-bit opcode, signed 32-bit little-endian payload.
ULVEX_EXPORT QByteArray makePacket(opcodes opcode, qint32 payload);
ULVEX_EXPORT QByteArray makePacket(opcodes opcode, status_codes status);

// Decodes the header at the start of a message; missing bytes read as zero.
ULVEX_EXPORT Packet readPacket(const QByteArray& message);

// Names for log lines; values outside the tables give the empty text.
ULVEX_EXPORT QString opcodeName(opcodes opcode);
ULVEX_EXPORT QString statusCodeName(status_codes status);
