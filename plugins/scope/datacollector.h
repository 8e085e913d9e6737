// The scope page's background worker: while sampling is enabled it runs the
// page's read cycle about every 51 ms; between acquisitions it idles with
// 1 ms sleeps. It never touches widgets: everything it does goes through
// ScopeCycleSource::readScopeOnce, which works on locked or atomic state.
#pragma once

#include "VX_Lock.h"

#include <QThread>

#include <atomic>

// What the collector drives: the scope page, or a stand-in in tests. The
// collector looks for it in its Qt parent.
class ScopeCycleSource
{
public:
    virtual ~ScopeCycleSource() = default;
    // One read cycle; runs on the collector thread.
    virtual void readScopeOnce() = 0;
};

class DataCollector : public QThread
{
    Q_OBJECT
public:
    // Minimum length of one sampling pass: a pass lasts while at most this
    // many milliseconds have gone by, so at least 51 ms.
    static constexpr int kPassMs = 50;
    static constexpr int kPassSleepMs = 10;
    static constexpr int kIdleSleepMs = 1;

    explicit DataCollector(QObject* parent = nullptr);
    ~DataCollector() override;

    void setRun(bool on);
    bool runEnabled() const { return m_run.load(); }
    void requestQuit() { m_quit.store(true); }

    // Ends the loop and returns once run() has returned: up to 100 checks
    // 1 ms apart, then, if a read cycle is still blocked in the link library,
    // for as long as it takes. The collector is never destroyed while its
    // loop still runs: the cycle works on its page's members.
    void shutdown();

    // Passes that called readScopeOnce, for tests.
    quint64 cycles() const { return m_cycles.load(); }

protected:
    void run() override;

private:
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_run{false};
    VX_Lock m_lock;
    std::atomic<quint64> m_cycles{0};
    // Set as the last act of run(). Reading it after the thread has ended
    // orders everything the loop did before whatever the owner does next,
    // also for tools that cannot see inside Qt's own join.
    std::atomic<bool> m_loopEnded{false};
};
