#include "signalwatch.h"

#include <QMetaObject>
#include <csignal>
#include <mutex>
#include <windows.h>

namespace {
// Windows calls the handler on a thread of its own; the watch's signal is
// queued to the watch's thread. The lock keeps the watch alive while an event
// is being posted to it. Only one watch is active at a time.
std::mutex lock;
SignalWatch* current = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    int signal = 0;
    switch (event) {
    case CTRL_C_EVENT:
        signal = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        signal = SIGTERM;
        break;
    default:
        return FALSE;
    }
    const std::lock_guard<std::mutex> held(lock);
    SignalWatch* watch = current;
    if (!watch)
        return FALSE;
    QMetaObject::invokeMethod(watch, [watch, signal] { emit watch->received(signal); }, Qt::QueuedConnection);
    return TRUE;
}
} // namespace

SignalWatch::SignalWatch(QObject* parent)
    : QObject(parent)
{
    {
        const std::lock_guard<std::mutex> held(lock);
        if (current)
            return;
        current = this;
    }
    active = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
    if (!active) {
        const std::lock_guard<std::mutex> held(lock);
        current = nullptr;
    }
}

SignalWatch::~SignalWatch()
{
    if (!active)
        return;
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    const std::lock_guard<std::mutex> held(lock);
    current = nullptr;
}

void SignalWatch::drain()
{
}
