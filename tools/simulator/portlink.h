#pragma once

#include <QString>

// A fixed path (a symlink) that names the simulator's current
// pseudo-terminal, so a device that is unplugged and plugged in again comes
// back where the backend looks for it, as a USB adapter would.
class PortLink {
public:
    explicit PortLink(QString path)
        : linkPath(std::move(path))
    {
    }
    ~PortLink() { withdraw(); }
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Points the link at target, replacing an earlier link in one step.
    bool publish(const QString& target);
    // Removes the link: the port path no longer exists.
    void withdraw();
    QString path() const { return linkPath; }

private:
    QString linkPath;
    bool published = false;
};
