#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGTERM and SIGINT into a Qt signal on the main thread (self-pipe),
// so the simulator can leave its event loop and clean up.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    bool install();

signals:
    void terminationRequested(int signalNumber);

private:
    static void handle(int signalNumber);
    void drain();

    std::unique_ptr<QSocketNotifier> notifier;
};
