#pragma once

#include "chunkeddelivery.h"
#include "correctnesspattern.h"
#include "linefaults.h"
#include "portlink.h"
#include "pseudoterminal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

// Plays the analyzer behind a pseudo-terminal: answers 'C' and 'R' frames,
// streams data frames between 'X' and 'Y', and can misbehave on request.
class SimulatedDevice : public QObject {
    Q_OBJECT
public:
    struct Options {
        QByteArray uid = "SIM0000000000001";
        CorrectnessPattern pattern = *CorrectnessPattern::parse(QStringLiteral("always"));
        int intervalMs = 50;
        int responseDelayMs = 20;
        QByteArray ignored;    // command letters never answered
        int unplugAfterMs = -1; // < 0: never
        int corruptEvery = 0;   // 0: never
        bool verbose = false;
        LineFaults faults;
    };

    SimulatedDevice(PseudoTerminal& terminal, Options options, QObject* parent = nullptr);

    void start();
    // The stable path to re-point after a replug (--link); may stay unset.
    void setLink(PortLink* portLink) { link = portLink; }

signals:
    // The line was cut on purpose (--unplug-after); the process should end.
    void unplugged();

private:
    void onReadable();
    void onPeerLost();
    void checkPeer();
    void handleFrame(const QByteArray& frame);
    void respondLater(quint8 command, const QByteArray& body);
    void sendDataFrame();
    void stopStreaming();
    void enqueue(const QByteArray& frame);
    void flushOne();
    void unplug();
    void replug();
    void listen();
    void trace(const char* direction, const QByteArray& frame) const;

    PseudoTerminal& terminal;
    Options options;
    std::unique_ptr<QSocketNotifier> readNotifier;
    QTimer streamTimer;
    QTimer writeTimer;
    QTimer peerTimer;
    QElapsedTimer sinceLastWrite;
    QElapsedTimer sinceSensorStart;
    ChunkedDelivery* delivery = nullptr;
    PortLink* link = nullptr;
    QByteArray received;
    QList<QByteArray> outgoing;
    bool streaming = false;
    bool peer = true;
    quint64 framesSent = 0;
};
