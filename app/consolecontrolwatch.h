#pragma once

#include "terminationwatch.h"

// Ctrl+C, Ctrl+Break and the console's close, log-off and shut-down events
// through SetConsoleCtrlHandler. The system calls the handler on a thread of
// its own; the handler only posts the request to the main thread.
class ConsoleControlWatch final : public TerminationWatch {
    Q_OBJECT
public:
    ConsoleControlWatch();
    ~ConsoleControlWatch() override;

    // False when another watch is listening or the handler cannot be set.
    bool listen();

private:
    bool listening = false;
};
