#include "replayscript.h"

namespace {
// The command letter of a frame the host sent, or 0 when the bytes are not
// a frame (stray bytes count as part of the group before them).
quint8 commandLetter(const QByteArray& bytes)
{
    if (bytes.size() < 3 || bytes.at(0) != '*' || bytes.at(1) != '/')
        return 0;
    return static_cast<quint8>(bytes.at(2));
}
} // namespace

ReplayScript::ReplayScript(const Transcript& transcript)
{
    qint64 groupStartUs = 0;
    for (const Transcript::Entry& entry : transcript.entries()) {
        if (entry.direction == Transcript::Direction::ToDevice) {
            const quint8 letter = commandLetter(entry.bytes);
            if (letter == 0 || (!list.isEmpty() && list.constLast().letter == letter))
                continue;
            list.append(Group{letter, {}});
            groupStartUs = entry.offsetUs;
            continue;
        }
        if (list.isEmpty()) {
            lead += entry.bytes.size();
            continue;
        }
        list.last().replies.append({entry.offsetUs - groupStartUs, entry.bytes});
    }
}

const ReplayScript::Group* ReplayScript::onCommand(quint8 letter, bool playing)
{
    if (current >= 0 && list.at(current).letter == letter)
        return playing ? nullptr : &list.at(current);
    const qsizetype count = list.size();
    for (qsizetype step = 1; step <= count; ++step) {
        const qsizetype index = (current + step) % count;
        if (list.at(index).letter == letter) {
            current = index;
            return &list.at(current);
        }
    }
    return nullptr;
}
