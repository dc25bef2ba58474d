#include "transcript.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
QByteArray formatOffset(qint64 us)
{
    return QByteArray::number(us / 1000) + '.' + QByteArray::number(us % 1000).rightJustified(3, '0');
}

// "12.345" (milliseconds, up to three decimals) as microseconds; -1 if malformed.
qint64 parseOffset(const QByteArray& field)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,9})(?:\\.([0-9]{1,3}))?$"));
    const auto match = pattern.match(QString::fromLatin1(field));
    if (!match.hasMatch())
        return -1;
    const qint64 ms = match.captured(1).toLongLong();
    const qint64 fraction = match.captured(2).leftJustified(3, QLatin1Char('0')).toLongLong();
    return ms * 1000 + fraction;
}

bool isHex(const QByteArray& text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}
} // namespace

void Transcript::addComment(const QString& text)
{
    // One line per comment: line breaks inside would start lines of their own.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    notes.append(line);
}

void Transcript::append(qint64 offsetUs, Direction direction, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 floor = list.isEmpty() ? 0 : list.constLast().offsetUs;
    // Long runs of bytes are split so every line stays within the limit.
    for (qsizetype at = 0; at < bytes.size(); at += maxBytesPerLine)
        list.append({qBound(floor, offsetUs, maxOffsetUs), direction, bytes.mid(at, maxBytesPerLine)});
}

QByteArray Transcript::toText() const
{
    QByteArray text = QByteArray(header) + '\n';
    for (const QString& note : notes)
        text += "# " + note.toUtf8() + '\n';
    text += "# offset-ms  direction (> to the device, < from the device)  bytes in hex\n";
    for (const Entry& entry : list) {
        text += formatOffset(entry.offsetUs).rightJustified(10, ' ') + ' '
            + (entry.direction == Direction::ToDevice ? '>' : '<') + ' ' + entry.bytes.toHex() + '\n';
    }
    return text;
}

bool Transcript::save(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(toText()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

std::expected<Transcript, QString> Transcript::parse(const QByteArray& text)
{
    if (text.size() > maxFileBytes)
        return std::unexpected(QStringLiteral("larger than %1 bytes").arg(maxFileBytes));
    Transcript transcript;
    bool headerSeen = false;
    int lineNumber = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++lineNumber;
        const QByteArray line = raw.trimmed();
        const auto fail = [lineNumber](const QString& why) {
            return std::unexpected(QStringLiteral("line %1: %2").arg(lineNumber).arg(why));
        };
        if (!headerSeen) {
            if (line != header)
                return fail(QStringLiteral("expected the header \"%1\"").arg(QLatin1String(header)));
            headerSeen = true;
            continue;
        }
        if (line.isEmpty())
            continue;
        if (line.startsWith('#')) {
            const QByteArray note = line.mid(1).trimmed();
            if (!note.startsWith("offset-ms "))
                transcript.notes.append(QString::fromUtf8(note));
            continue;
        }
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() != 3)
            return fail(QStringLiteral("expected an offset, a direction and hex bytes"));
        const qint64 offset = parseOffset(fields[0]);
        if (offset < 0 || offset > maxOffsetUs)
            return fail(QStringLiteral("bad time offset '%1'").arg(QString::fromLatin1(fields[0].left(20))));
        if (!transcript.list.isEmpty() && offset < transcript.list.constLast().offsetUs)
            return fail(QStringLiteral("time offset goes backwards"));
        if (fields[1] != ">" && fields[1] != "<")
            return fail(QStringLiteral("direction must be > or <"));
        const QByteArray& hex = fields[2];
        if (hex.size() % 2 != 0 || hex.size() > 2 * maxBytesPerLine || !isHex(hex))
            return fail(QStringLiteral("bytes must be an even number of hex digits, at most %1 bytes")
                            .arg(maxBytesPerLine));
        transcript.list.append({offset, fields[1] == ">" ? Direction::ToDevice : Direction::FromDevice,
                                QByteArray::fromHex(hex)});
    }
    if (!headerSeen)
        return std::unexpected(QStringLiteral("empty file"));
    return transcript;
}

std::expected<Transcript, QString> Transcript::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::unexpected(QStringLiteral("%1: %2").arg(path, file.errorString()));
    // One byte over the limit is enough to tell that the file is too large.
    const QByteArray text = file.read(maxFileBytes + 1);
    auto parsed = parse(text);
    if (!parsed)
        return std::unexpected(QStringLiteral("%1: %2").arg(path, parsed.error()));
    return parsed;
}
