// Waiting on the Qt event loop with a bound, for the tests and programs that
// drive windows.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace vxtest {

// Runs the event loop until pred() holds or the time is up (a hang detector:
// generous, as a loaded machine may take long; a wait that succeeds returns
// at once).
inline bool waitFor(const std::function<bool()>& pred, int timeoutMs = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

} // namespace vxtest
