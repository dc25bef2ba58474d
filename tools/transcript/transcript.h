#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <expected>

// A recorded conversation with the analyzer: every frame in both directions
// with its time offset from the start of the recording. Kept as plain text,
// one frame per line, in the format described in docs/device.md.
class Transcript {
public:
    enum class Direction { ToDevice, FromDevice };
    struct Entry {
        qint64 offsetUs = 0;
        Direction direction = Direction::ToDevice;
        QByteArray bytes;
    };

    static constexpr const char* header = "# ulvex-device-transcript 1";
    // Limits that keep a hostile file from taking the process down.
    static constexpr qint64 maxFileBytes = 64LL * 1024 * 1024;
    static constexpr int maxBytesPerLine = 1024;
    static constexpr qint64 maxOffsetUs = 24LL * 3600 * 1000 * 1000;

    // A note written as a "# " line after the header.
    void addComment(const QString& text);
    // Offsets must not go backwards; a smaller one is raised to the last one.
    void append(qint64 offsetUs, Direction direction, const QByteArray& bytes);

    const QList<Entry>& entries() const { return list; }
    const QStringList& comments() const { return notes; }

    QByteArray toText() const;
    // Written whole or not at all.
    bool save(const QString& path, QString* error = nullptr) const;

    // The error names the line that is wrong.
    static std::expected<Transcript, QString> parse(const QByteArray& text);
    static std::expected<Transcript, QString> load(const QString& path);

private:
    QStringList notes;
    QList<Entry> list;
};
