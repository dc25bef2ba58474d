#include "signalwatch.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The handler only writes the signal's number to this pair; the rest
// happens in the event loop.
std::array<int, 2> pipeEnds{-1, -1};
constexpr std::array watched{SIGINT, SIGTERM};

void onSignal(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    [[maybe_unused]] const auto written = ::write(pipeEnds[1], &number, 1);
    errno = saved;
}
} // namespace

SignalWatch::SignalWatch(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipeEnds.data()) != 0)
        return;
    notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &SignalWatch::drain);
    active = true;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : watched)
        ::sigaction(signal, &action, nullptr);
}

SignalWatch::~SignalWatch()
{
    for (int signal : watched)
        std::signal(signal, SIG_DFL);
    notifier.reset();
    for (int& end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void SignalWatch::drain()
{
    char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit received(int(numbers[i]));
    }
}
