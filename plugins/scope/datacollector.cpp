#include "datacollector.h"

#include "ThreadSignalStack.h"

#include <chrono>

namespace {

// Milliseconds from a monotonic clock: wall-clock steps must not stretch or
// cut a pass short.
qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

DataCollector::DataCollector(QObject* parent)
    : QThread(parent)
{
}

DataCollector::~DataCollector()
{
    shutdown();
}

void DataCollector::setRun(bool on)
{
    VX_LockGurad guard(&m_lock);
    m_run.store(on);
}

void DataCollector::shutdown()
{
    requestQuit();
    quit();
    if (isRunning()) {
        for (int i = 0; i < 100 && !isFinished(); ++i)
            QThread::msleep(1);
        wait();
    }
    (void)m_loopEnded.load(std::memory_order_acquire);
}

void DataCollector::run()
{
    // A stack overflow in a read cycle must still reach the crash handler.
    vx::ThreadSignalStack signalStack;
    setRun(true);
    ScopeCycleSource* source = dynamic_cast<ScopeCycleSource*>(parent());

    while (!m_quit.load()) {
        if (m_run.load()) {
            const qint64 t0 = nowMs();
            if (source) {
                source->readScopeOnce();
                m_cycles.fetch_add(1);
            }
            while (nowMs() - t0 <= kPassMs)
                QThread::msleep(kPassSleepMs);
        } else {
            QThread::msleep(kIdleSleepMs);
        }
    }
    m_loopEnded.store(true, std::memory_order_release);
}
