#include "portlink.h"

#include <cstdio>
#include <unistd.h>

bool PortLink::publish(const QString& target)
{
    const QByteArray finalPath = linkPath.toLocal8Bit();
    const QByteArray temporary = finalPath + ".new";
    ::unlink(temporary.constData());
    if (::symlink(target.toLocal8Bit().constData(), temporary.constData()) != 0
        || ::rename(temporary.constData(), finalPath.constData()) != 0) {
        std::perror("ulvex-device-sim: cannot publish the port link");
        ::unlink(temporary.constData());
        return false;
    }
    published = true;
    return true;
}

void PortLink::withdraw()
{
    if (!published)
        return;
    ::unlink(linkPath.toLocal8Bit().constData());
    published = false;
}
