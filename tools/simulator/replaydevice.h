#pragma once

#include "pseudoterminal.h"
#include "replayscript.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

// Plays a recorded device behind a pseudo-terminal: each command the client
// sends gets the replies the device sent to it in the transcript, with the
// recorded delays, through ReplayScript.
class ReplayDevice : public QObject {
    Q_OBJECT
public:
    ReplayDevice(PseudoTerminal& terminal, ReplayScript script, bool verbose, QObject* parent = nullptr);

    void start();

private:
    void onReadable();
    void onPeerLost();
    void checkPeer();
    void play(const ReplayScript::Group& group);
    void sendDue();
    void trace(const char* direction, const QByteArray& bytes) const;

    PseudoTerminal& terminal;
    ReplayScript script;
    const bool verbose;
    std::unique_ptr<QSocketNotifier> readNotifier;
    QTimer sendTimer;
    QTimer peerTimer;
    QElapsedTimer sinceCommand;
    QByteArray received;
    const ReplayScript::Group* playing = nullptr;
    qsizetype nextReply = 0;
};
