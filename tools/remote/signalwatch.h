#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGINT and SIGTERM (on Windows: Ctrl+C, Ctrl+Break and the console
// closing) into a Qt signal on the thread that made the watch, so the program
// can end its work in order (a download in progress is discarded, never left
// half-written under its name). One watch per process.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    explicit SignalWatch(QObject* parent = nullptr);
    ~SignalWatch() override;
    bool isActive() const { return active; }

signals:
    void received(int signal);

private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier;
    bool active = false;
};
