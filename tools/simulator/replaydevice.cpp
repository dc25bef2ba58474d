#include "replaydevice.h"

#include "framecodec.h"

#include <cstdio>

namespace {
// How often a hung-up line is checked for a new client.
constexpr int replayPeerPollMs = 100;
// Frames written closer than this may reach the client in one read.
constexpr qint64 maxCatchUpGapUs = 15000;
} // namespace

ReplayDevice::ReplayDevice(PseudoTerminal& terminal, ReplayScript script, bool verbose, QObject* parent)
    : QObject(parent)
    , terminal(terminal)
    , script(std::move(script))
    , verbose(verbose)
{
    sendTimer.setSingleShot(true);
    sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&sendTimer, &QTimer::timeout, this, &ReplayDevice::sendDue);
    peerTimer.setInterval(replayPeerPollMs);
    connect(&peerTimer, &QTimer::timeout, this, &ReplayDevice::checkPeer);
}

void ReplayDevice::start()
{
    readNotifier = std::make_unique<QSocketNotifier>(terminal.masterFd(), QSocketNotifier::Read);
    connect(readNotifier.get(), &QSocketNotifier::activated, this, &ReplayDevice::onReadable);
}

void ReplayDevice::onReadable()
{
    if (terminal.read(received) < 0) {
        onPeerLost();
        return;
    }
    for (const QByteArray& frame : FrameCodec::extract(received)) {
        trace("<-", frame);
        const bool busy = playing && nextReply < playing->replies.size();
        if (const ReplayScript::Group* group = script.onCommand(static_cast<quint8>(frame.at(2)), busy))
            play(*group);
    }
}

void ReplayDevice::onPeerLost()
{
    // A hung-up master stays readable: poll for the next client instead. The
    // next client meets the recording from its start.
    readNotifier->setEnabled(false);
    sendTimer.stop();
    playing = nullptr;
    received.clear();
    script.restart();
    if (verbose)
        std::fprintf(stderr, "replay: client closed the port\n");
    peerTimer.start();
}

void ReplayDevice::checkPeer()
{
    if (!terminal.peerPresent())
        return;
    peerTimer.stop();
    readNotifier->setEnabled(true);
    if (verbose)
        std::fprintf(stderr, "replay: client opened the port\n");
}

void ReplayDevice::play(const ReplayScript::Group& group)
{
    // A new command ends whatever the last one set going, as on the device.
    playing = &group;
    nextReply = 0;
    sinceCommand.start();
    if (verbose)
        std::fprintf(stderr, "replay: '%c' -> %lld recorded replies\n", group.letter,
                     static_cast<long long>(group.replies.size()));
    sendDue();
}

void ReplayDevice::sendDue()
{
    if (!playing || nextReply >= playing->replies.size())
        return;
    const auto& replies = playing->replies;
    qint64 nowUs = sinceCommand.nsecsElapsed() / 1000;
    if (replies.at(nextReply).delayUs > nowUs) {
        sendTimer.start(static_cast<int>((replies.at(nextReply).delayUs - nowUs + 999) / 1000));
        return;
    }
    const QByteArray& bytes = replies.at(nextReply).bytes;
    trace("->", bytes);
    terminal.write(bytes);
    ++nextReply;
    // Frames recorded apart stay apart when the replay runs late: the next one
    // goes no sooner than its recorded gap (up to maxCatchUpGapUs) after this one.
    while (nextReply < replies.size()) {
        const qint64 gapUs = replies.at(nextReply).delayUs - replies.at(nextReply - 1).delayUs;
        if (gapUs > 0) {
            const qint64 earliestUs = nowUs + qMin(gapUs, maxCatchUpGapUs);
            const qint64 dueUs = qMax(replies.at(nextReply).delayUs, earliestUs);
            nowUs = sinceCommand.nsecsElapsed() / 1000;
            sendTimer.start(static_cast<int>(qMax<qint64>(0, dueUs - nowUs + 999) / 1000));
            return;
        }
        // Recorded at the same moment: they went out together, so do they now.
        trace("->", replies.at(nextReply).bytes);
        terminal.write(replies.at(nextReply).bytes);
        ++nextReply;
    }
}

void ReplayDevice::trace(const char* direction, const QByteArray& bytes) const
{
    if (verbose)
        std::fprintf(stderr, "replay %s %s\n", direction, bytes.toHex(' ').constData());
}
