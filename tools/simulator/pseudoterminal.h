#pragma once

#include <QByteArray>
#include <QString>

// The master side of a pseudo-terminal in raw mode. The slave path is what a
// serial-port client opens in place of the real device.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair; on failure the reason is in errorString().
    bool open();
    void close();

    int masterFd() const { return master; }
    QString slavePath() const { return path; }
    QString errorString() const { return error; }

    // True unless the slave side has been closed after being opened; Linux
    // reports that hang-up on the master until a client opens the slave again.
    bool peerPresent() const;

    // Bytes read, 0 when nothing is pending, -1 when the peer hung up or the
    // read failed.
    qint64 read(QByteArray& into);
    bool write(const QByteArray& bytes);

private:
    int master = -1;
    QString path;
    QString error;
};
