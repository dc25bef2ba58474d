#include "unixsignalwatch.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 2> watched{SIGTERM, SIGINT};
// [0] written by the handler, [1] read on the main thread. One pair per process.
int pair[2] = {-1, -1};

void onSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full socket means a request is already waiting; this one adds nothing.
    [[maybe_unused]] const ssize_t written = ::send(pair[0], &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    errno = savedErrno;
}

QString nameOf(int number)
{
    return number == SIGTERM ? QStringLiteral("SIGTERM")
        : number == SIGINT   ? QStringLiteral("SIGINT")
                             : QStringLiteral("signal %1").arg(number);
}

void setHandler(int number, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

} // namespace

UnixSignalWatch::UnixSignalWatch() = default;

UnixSignalWatch::~UnixSignalWatch()
{
    if (pair[0] < 0)
        return;
    for (int number : watched)
        setHandler(number, SIG_DFL);
    delete notifier;
    ::close(pair[0]);
    ::close(pair[1]);
    pair[0] = pair[1] = -1;
}

bool UnixSignalWatch::listen()
{
    if (pair[0] >= 0)
        return false; // another watch already has the signals
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) {
        pair[0] = pair[1] = -1;
        return false;
    }
    notifier = new QSocketNotifier(pair[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &UnixSignalWatch::readSignals);
    for (int number : watched)
        setHandler(number, &onSignal);
    return true;
}

void UnixSignalWatch::readSignals()
{
    unsigned char numbers[16];
    ssize_t got = 0;
    while ((got = ::read(pair[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            // The next one of this kind ends the process the system's way.
            setHandler(numbers[i], SIG_DFL);
            emit requested(nameOf(numbers[i]));
        }
    }
}
