#pragma once

#include "transcript.h"

#include <QByteArray>
#include <QList>

// What a recorded device does, as answers to commands. The transcript is cut
// into groups: a run of frames the host sent with the same command letter
// (a command and its retries) and everything the device sent until the host
// sent another letter, timed from the first frame of the run.
class ReplayScript {
public:
    struct Reply {
        qint64 delayUs = 0;
        QByteArray bytes;
    };
    struct Group {
        quint8 letter = 0;
        QList<Reply> replies;
    };

    explicit ReplayScript(const Transcript& transcript);

    // The group to play for a command frame with this letter, or nullptr for
    // none. A repeat of the letter being played, while its replies are still
    // `playing`, is a retry and starts nothing; a repeat after they have all
    // gone out plays them again. Any other letter moves on to the next group
    // with that letter, going round to the first once the recording ends.
    const Group* onCommand(quint8 letter, bool playing);

    // Back to the start, as for a device that was just plugged in.
    void restart() { current = -1; }

    const QList<Group>& groups() const { return list; }
    // Bytes the device sent before the host's first command; not played.
    qsizetype unplayedLead() const { return lead; }

private:
    QList<Group> list;
    qsizetype current = -1;
    qsizetype lead = 0;
};
