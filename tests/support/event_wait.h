// Waiting in tests that run Qt's event loop: the sockets, timers and queued calls
// of the code under test go on while the test waits.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <functional>

namespace support {

// Runs the event loop until `done` holds or `ms` milliseconds have passed; returns
// whether it holds.
inline bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Runs the event loop for `ms` milliseconds.
inline void Pause(int ms)
{
    WaitFor([] { return false; }, ms);
}

}  // namespace support
