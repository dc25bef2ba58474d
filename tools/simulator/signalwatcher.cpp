#include "signalwatcher.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int pipeFds[2] = {-1, -1};
}

SignalWatcher::SignalWatcher(QObject* parent)
    : QObject(parent)
{
}

SignalWatcher::~SignalWatcher()
{
    notifier.reset();
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

bool SignalWatcher::install()
{
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    notifier = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &SignalWatcher::drain);

    struct sigaction action {};
    action.sa_handler = &SignalWatcher::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

void SignalWatcher::handle(int signalNumber)
{
    // Only async-signal-safe work here: hand the number to the event loop.
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
}

void SignalWatcher::drain()
{
    char byte = 0;
    int last = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        last = byte;
    if (last != 0)
        emit terminationRequested(last);
}
