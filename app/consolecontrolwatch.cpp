#include "consolecontrolwatch.h"

#include <QMetaObject>
#include <QPointer>

#include <windows.h>

#include <array>
#include <atomic>
#include <mutex>

namespace {

// Kinds of control event; the index says whether one was already handed over.
constexpr std::array<DWORD, 5> watched{
    CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT};
// After a close, log-off or shut-down event the system ends the process once
// the handler returns (and on its own after about five seconds): the handler
// holds on until the program has finished or this long has passed.
constexpr DWORD closeGraceMs = 4500;

// The handler posts under this lock, so the watch cannot go while it does.
std::mutex currentLock;
ConsoleControlWatch* current = nullptr;
std::array<std::atomic<bool>, watched.size()> seen{};
HANDLE finished = nullptr; // manual-reset event, set when the watch goes

int indexOf(DWORD event)
{
    for (std::size_t i = 0; i < watched.size(); ++i) {
        if (watched[i] == event)
            return static_cast<int>(i);
    }
    return -1;
}

QString nameOf(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT: return QStringLiteral("CTRL_C_EVENT");
    case CTRL_BREAK_EVENT: return QStringLiteral("CTRL_BREAK_EVENT");
    case CTRL_CLOSE_EVENT: return QStringLiteral("CTRL_CLOSE_EVENT");
    case CTRL_LOGOFF_EVENT: return QStringLiteral("CTRL_LOGOFF_EVENT");
    case CTRL_SHUTDOWN_EVENT: return QStringLiteral("CTRL_SHUTDOWN_EVENT");
    default: return QStringLiteral("console event %1").arg(event);
    }
}

BOOL WINAPI onControl(DWORD event)
{
    const int index = indexOf(event);
    {
        const std::lock_guard<std::mutex> lock(currentLock);
        // Unknown kinds, a second event of a kind and events after the watch
        // went get the system's default handling, which ends the process.
        if (index < 0 || current == nullptr || seen[static_cast<std::size_t>(index)].exchange(true))
            return FALSE;
        ConsoleControlWatch* watch = current;
        const QString what = nameOf(event);
        QMetaObject::invokeMethod(watch, [watch, what] { emit watch->requested(what); }, Qt::QueuedConnection);
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(finished, closeGraceMs);
    return TRUE;
}

} // namespace

ConsoleControlWatch::ConsoleControlWatch() = default;

ConsoleControlWatch::~ConsoleControlWatch()
{
    if (!listening)
        return;
    {
        const std::lock_guard<std::mutex> lock(currentLock);
        current = nullptr;
    }
    SetConsoleCtrlHandler(&onControl, FALSE);
    SetEvent(finished);
}

bool ConsoleControlWatch::listen()
{
    const std::lock_guard<std::mutex> lock(currentLock);
    if (current != nullptr)
        return false; // another watch already has the events
    if (finished == nullptr)
        finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (finished == nullptr || !SetConsoleCtrlHandler(&onControl, TRUE))
        return false;
    ResetEvent(finished);
    for (auto& flag : seen)
        flag.store(false);
    current = this;
    listening = true;
    return true;
}
