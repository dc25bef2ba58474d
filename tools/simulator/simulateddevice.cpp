#include "simulateddevice.h"

#include "framecodec.h"

#include <QTextStream>
#include <cstdio>

namespace {
// Frames closer together than this could reach the other side in one read,
// which the backend drops, so writes are spaced at least this far apart.
constexpr int minimumGapMs = 15;
// How often a hung-up line is checked for a new client.
constexpr int peerPollMs = 100;
} // namespace

SimulatedDevice::SimulatedDevice(PseudoTerminal& terminal, Options options, QObject* parent)
    : QObject(parent)
    , terminal(terminal)
    , options(std::move(options))
{
    streamTimer.setInterval(this->options.intervalMs);
    streamTimer.setTimerType(Qt::PreciseTimer);
    connect(&streamTimer, &QTimer::timeout, this, &SimulatedDevice::sendDataFrame);

    writeTimer.setSingleShot(true);
    writeTimer.setTimerType(Qt::PreciseTimer);
    connect(&writeTimer, &QTimer::timeout, this, &SimulatedDevice::flushOne);

    peerTimer.setInterval(peerPollMs);
    connect(&peerTimer, &QTimer::timeout, this, &SimulatedDevice::checkPeer);

    delivery = new ChunkedDelivery(this->options.faults.chunkBytes, this->options.faults.latencyMs,
                                   [this](const QByteArray& bytes) { return this->terminal.write(bytes); }, this);
}

void SimulatedDevice::start()
{
    listen();
    if (options.unplugAfterMs >= 0)
        QTimer::singleShot(options.unplugAfterMs, this, &SimulatedDevice::unplug);
}

void SimulatedDevice::listen()
{
    peer = true;
    readNotifier = std::make_unique<QSocketNotifier>(terminal.masterFd(), QSocketNotifier::Read);
    connect(readNotifier.get(), &QSocketNotifier::activated, this, &SimulatedDevice::onReadable);
}

void SimulatedDevice::onReadable()
{
    const qint64 n = terminal.read(received);
    if (n < 0) {
        onPeerLost();
        return;
    }
    for (const QByteArray& frame : FrameCodec::extract(received)) {
        trace("<-", frame);
        handleFrame(frame);
    }
}

void SimulatedDevice::onPeerLost()
{
    // A hung-up master stays readable; polling it now and then instead of
    // listening keeps the process idle until a client comes back.
    readNotifier->setEnabled(false);
    peer = false;
    stopStreaming();
    delivery->clear();
    received.clear();
    if (options.verbose)
        std::fprintf(stderr, "sim: client closed the port\n");
    peerTimer.start();
}

void SimulatedDevice::checkPeer()
{
    if (!terminal.peerPresent())
        return;
    peerTimer.stop();
    peer = true;
    readNotifier->setEnabled(true);
    if (options.verbose)
        std::fprintf(stderr, "sim: client opened the port\n");
}

void SimulatedDevice::handleFrame(const QByteArray& frame)
{
    const auto command = static_cast<quint8>(frame.at(2));
    if (options.ignored.contains(static_cast<char>(command))) {
        if (options.verbose)
            std::fprintf(stderr, "sim: ignoring '%c'\n", command);
        return;
    }
    switch (command) {
    case 'C':
        respondLater('C', {});
        break;
    case 'R':
        respondLater('R', options.uid);
        break;
    case 'X':
        // A repeated start while streaming changes nothing.
        if (!streaming) {
            streaming = true;
            sinceSensorStart.start();
            options.pattern.restart();
            streamTimer.start();
        }
        break;
    case 'Y':
        stopStreaming();
        break;
    default:
        break;
    }
}

void SimulatedDevice::respondLater(quint8 command, const QByteArray& body)
{
    const QByteArray frame = FrameCodec::build(command, body);
    QTimer::singleShot(options.responseDelayMs, this, [this, frame] { enqueue(frame); });
}

void SimulatedDevice::sendDataFrame()
{
    // A silent stream: the sensor runs, the port stays open, no frame comes.
    if (options.faults.silentAt(sinceSensorStart.elapsed()))
        return;
    const quint8 status = (options.pattern.next() ? 0x01 : 0x00) | options.faults.statusBits;
    enqueue(FrameCodec::build(status));
}

void SimulatedDevice::stopStreaming()
{
    streaming = false;
    streamTimer.stop();
    outgoing.clear();
}

void SimulatedDevice::enqueue(const QByteArray& frame)
{
    if (!peer)
        return;
    outgoing.append(frame);
    if (!writeTimer.isActive())
        flushOne();
}

void SimulatedDevice::flushOne()
{
    if (outgoing.isEmpty() || !peer)
        return;
    if (sinceLastWrite.isValid() && sinceLastWrite.elapsed() < minimumGapMs) {
        writeTimer.start(static_cast<int>(minimumGapMs - sinceLastWrite.elapsed()));
        return;
    }
    QByteArray frame = outgoing.takeFirst();
    ++framesSent;
    if (options.corruptEvery > 0 && framesSent % static_cast<quint64>(options.corruptEvery) == 0)
        frame = FrameCodec::corrupted(frame);
    trace("->", frame);
    delivery->send(frame);
    sinceLastWrite.start();
    if (!outgoing.isEmpty())
        writeTimer.start(minimumGapMs);
}

void SimulatedDevice::unplug()
{
    if (options.verbose)
        std::fprintf(stderr, "sim: unplugging\n");
    streamTimer.stop();
    writeTimer.stop();
    peerTimer.stop();
    readNotifier.reset();
    terminal.close();
    if (options.faults.replugAfterMs < 0 || !link) {
        emit unplugged();
        return;
    }
    // Gone from its path for a while, then back on the same one.
    link->withdraw();
    stopStreaming();
    delivery->clear();
    received.clear();
    peer = false;
    QTimer::singleShot(options.faults.replugAfterMs, this, &SimulatedDevice::replug);
}

void SimulatedDevice::replug()
{
    if (!terminal.open() || !link->publish(terminal.slavePath())) {
        std::fprintf(stderr, "sim: cannot plug in again: %s\n", qPrintable(terminal.errorString()));
        emit unplugged();
        return;
    }
    if (options.verbose)
        std::fprintf(stderr, "sim: plugged in again at %s\n", qPrintable(terminal.slavePath()));
    listen();
}

void SimulatedDevice::trace(const char* direction, const QByteArray& frame) const
{
    if (!options.verbose)
        return;
    const auto command = static_cast<quint8>(frame.at(2));
    const char letter = (command >= 0x20 && command < 0x7F) ? static_cast<char>(command) : '.';
    std::fprintf(stderr, "sim %s 0x%02x '%c' %s%s\n", direction, command, letter,
                 frame.toHex(' ').constData(), FrameCodec::check(frame) ? "" : " (bad checksum)");
}
