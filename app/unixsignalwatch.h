#pragma once

#include "terminationwatch.h"

class QSocketNotifier;

// SIGTERM and SIGINT through a socket pair: the handler only writes the signal
// number to it; a socket notifier reads it on the main thread.
class UnixSignalWatch final : public TerminationWatch {
    Q_OBJECT
public:
    UnixSignalWatch();
    ~UnixSignalWatch() override;

    // False when the socket pair or the handlers could not be set up.
    bool listen();

private:
    void readSignals();

    QSocketNotifier* notifier = nullptr;
};
