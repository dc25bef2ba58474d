#pragma once

#include "telemetry/cpuinfo.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <optional>

// The processor record from "wmic cpu get /ALL /FORMAT:list". The tool is
// Windows', but nothing here is: any "wmic" on the search path answers, which
// is how the runner is checked elsewhere.
class ULVEX_EXPORT WmicQuery {
public:
    // More output than this is no processor listing; the tool is stopped.
    static constexpr qint64 maxOutputBytes = 1 << 20;
    static constexpr int timeLimitMs = 30000;

    // Runs the tool for at most 30 s (less when the deadline is nearer), then
    // decodes and parses what it printed. Nothing when it did not start, did
    // not finish in time or printed too much; the reason is logged.
    static std::optional<CpuInfo> cpuInfo(const QDeadlineTimer& deadline);

    // The tool's output as text: UTF-16LE (what it prints into a file or pipe
    // on most systems), with or without a byte order mark, or 8-bit text
    // taken as UTF-8. Undecodable sequences become replacement characters.
    static QString decode(const QByteArray& output);

private:
    static std::optional<QByteArray> run(const QDeadlineTimer& deadline);
};
