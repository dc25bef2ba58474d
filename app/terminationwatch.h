#pragma once

#include <QObject>
#include <memory>

// Tells the main thread that the system asked the program to end (SIGTERM or
// SIGINT on Unix; Ctrl+C, Ctrl+Break or closing the console on Windows).
// The request arrives as a queued signal on the main thread, so whatever
// handles it may use the whole program; the low-level handler does nothing
// but hand it over.
class TerminationWatch : public QObject {
    Q_OBJECT
public:
    // The watch for this platform, already listening; null when the platform
    // has none or it cannot be set up (the system's default handling stays).
    static std::unique_ptr<TerminationWatch> create();
    ~TerminationWatch() override = default;

signals:
    // `what` names the request, e.g. "SIGTERM" or "CTRL_C_EVENT". A second
    // request of the same kind gets the system's default handling (it ends
    // the process at once).
    void requested(const QString& what);

protected:
    TerminationWatch() = default;
};
