#pragma once

#include <QEventLoop>
#include <QTimer>

// Lets the given time pass while the thread's events are served, asleep in
// an event loop rather than polling.
inline void waitInEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
