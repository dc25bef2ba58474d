#include "pseudoterminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open()
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        error = QStringLiteral("posix_openpt: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        error = QStringLiteral("pseudo-terminal set-up: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    }
    path = QString::fromLocal8Bit(name);

    // Raw mode: no echo, no line editing, no CR/LF translation, so frames
    // pass byte for byte. Settings made on the master apply to the slave.
    termios tio{};
    if (::tcgetattr(master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    return true;
}

void PseudoTerminal::close()
{
    if (master >= 0) {
        ::close(master);
        master = -1;
    }
}

bool PseudoTerminal::peerPresent() const
{
    if (master < 0)
        return false;
    pollfd fd{};
    fd.fd = master;
    fd.events = POLLIN;
    if (::poll(&fd, 1, 0) < 0)
        return false;
    return (fd.revents & POLLHUP) == 0;
}

qint64 PseudoTerminal::read(QByteArray& into)
{
    char chunk[512];
    const ssize_t n = ::read(master, chunk, sizeof chunk);
    if (n > 0) {
        into.append(chunk, n);
        return n;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    // EIO (or end of file): nobody holds the slave open.
    return -1;
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}
