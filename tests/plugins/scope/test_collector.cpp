// The collector thread on its own (pacing, idling, shutdown while a cycle is
// blocked) and together with the page and a scripted link: rows arrive in the
// right slots, Stop ends the recording, the page can be destroyed while it
// samples. Runs under ThreadSanitizer too.
#include "ScopePageSupport.h"

#include "datacollector.h"
#include "qwtscope.h"
#include "scopesamplestore.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace scopetest;
using Clock = std::chrono::steady_clock;

namespace {

// Stands in for the page: counts cycles, notes when each began, and can
// block inside a cycle like a read waiting for the controller.
class FakeSource : public QObject, public ScopeCycleSource
{
public:
    void readScopeOnce() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            starts.push_back(Clock::now());
        }
        inside.store(true);
        if (blockMs.load() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(blockMs.load()));
        inside.store(false);
        done.fetch_add(1);
    }
    std::vector<Clock::time_point> startTimes()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return starts;
    }

    std::mutex mutex;
    std::vector<Clock::time_point> starts;
    std::atomic<int> blockMs{0};
    std::atomic<bool> inside{false};
    std::atomic<int> done{0};
};

bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 20000)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace

TEST(DataCollector, ReadsWhileRunEnabledAndIdlesOtherwise)
{
    FakeSource source;
    auto* collector = new DataCollector(&source);
    EXPECT_FALSE(collector->runEnabled()) << "constructed idle";
    collector->start();
    // The thread enables sampling itself when it starts.
    ASSERT_TRUE(waitUntil([&] { return source.done.load() >= 2; }));
    EXPECT_TRUE(collector->runEnabled());

    collector->setRun(false);
    // A pass under way, or one already past its run check, still ends; no
    // other starts (however slowly the machine runs it).
    const int idle = source.done.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const int paused = source.done.load();
    EXPECT_LE(paused, idle + 1) << "no reads while the run flag is clear";

    collector->setRun(true);
    ASSERT_TRUE(waitUntil([&] { return source.done.load() > paused; }));
    collector->shutdown();
    EXPECT_TRUE(collector->isFinished());
    EXPECT_EQ(collector->cycles(), quint64(source.done.load()));
    delete collector;
}

TEST(DataCollector, PassesLastAtLeastFiftyOneMilliseconds)
{
    FakeSource source;
    DataCollector* collector = new DataCollector(&source);
    collector->start();
    ASSERT_TRUE(waitUntil([&] { return source.done.load() >= 6; }));
    collector->shutdown();
    const std::vector<Clock::time_point> starts = source.startTimes();
    for (std::size_t i = 1; i < starts.size(); ++i) {
        const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(starts[i] - starts[i - 1]);
        // The pass starts its clock just before the cycle; allow for the
        // moment between that and the cycle's own clock reading.
        EXPECT_GE(gap.count(), 50000) << "pass " << i;
    }
    delete collector;
}

TEST(DataCollector, ShutdownWaitsForACycleBlockedInTheLink)
{
    FakeSource source;
    source.blockMs.store(400);
    auto* collector = new DataCollector(&source);
    collector->start();
    ASSERT_TRUE(waitUntil([&] { return source.inside.load(); }));
    // Far longer than the 100 quick checks: shutdown must keep waiting.
    collector->shutdown();
    EXPECT_TRUE(collector->isFinished());
    EXPECT_FALSE(source.inside.load()) << "returned while the cycle still ran";
    EXPECT_EQ(source.done.load(), 1);
    delete collector;
}

TEST(DataCollector, DestroyingARunningCollectorWaitsForItsLoop)
{
    FakeSource source;
    source.blockMs.store(200);
    auto* collector = new DataCollector(&source);
    collector->start();
    ASSERT_TRUE(waitUntil([&] { return source.inside.load(); }));
    delete collector;
    EXPECT_FALSE(source.inside.load());
}

TEST(DataCollector, WithoutAPageItOnlyPaces)
{
    DataCollector collector;
    collector.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_TRUE(collector.isRunning());
    collector.shutdown();
    EXPECT_TRUE(collector.isFinished());
    EXPECT_EQ(collector.cycles(), 0u);
}

// ---- the page with its collector and a scripted link ----------------------

class ScopePageThreaded : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page = std::make_unique<VXPlugin_Scope>();
        page->setLinkCalls(link.calls());
        page->messageBox = [](QMessageBox::Icon, const QString&, const QString&) {};
        // Every row: value k = time + k.
        link.generate([](double t) { return row(t, t); });
    }

    void choose()
    {
        QScopeSetting* d = page->settingDialog();
        ASSERT_TRUE(checkJoint(d, 1));
        ASSERT_TRUE(checkJoint(d, 2));
        ASSERT_TRUE(checkLink(d, "Actual ACS"));
        ASSERT_TRUE(checkLink(d, "Actual Cur"));
        confirm(d);
    }

    FakeLink link;
    std::unique_ptr<VXPlugin_Scope> page;
};

TEST_F(ScopePageThreaded, RowsArriveInTheirSlotsUntilStop)
{
    choose();
    page->OnStartScope();
    EXPECT_TRUE(page->collector()->isRunning());
    ASSERT_TRUE(waitFor([&] { return page->sampleTimes().size() >= 300; }, 10000));

    const std::vector<double> times = page->sampleTimes();
    for (int slot = 0; slot < 4; ++slot) {
        const std::vector<double> values = page->samples(slot);
        // Taken one lock apart: the later copy may hold a few rows more.
        ASSERT_GE(values.size(), times.size()) << slot;
        for (std::size_t i = 0; i < times.size(); ++i)
            ASSERT_EQ(values[i], times[i] + slot) << "slot " << slot << " row " << i;
    }
    EXPECT_TRUE(page->samples(4).empty());
    // The plot is fed by the timer while running.
    ASSERT_TRUE(waitFor([&] { return page->plot()->curve(3)->dataSize() > 0; }));

    // Once Stop returned, no row lands; a read already past its run check
    // may still happen, no more.
    page->OnStopScope();
    const std::size_t stopped = page->sampleTimes().size();
    const int reads = link.reads();
    QThread::msleep(400);
    EXPECT_EQ(page->sampleTimes().size(), stopped);
    EXPECT_LE(link.reads(), reads + 1);
    EXPECT_TRUE(page->collector()->isRunning()) << "the thread idles between acquisitions";

    // Start again: the buffers start empty and fill anew.
    page->OnStartScope();
    EXPECT_LT(page->sampleTimes().size(), stopped);
    ASSERT_TRUE(waitFor([&] { return page->sampleTimes().size() >= 100; }, 10000));
    page->slot_Disconnected2ZPS();
    EXPECT_FALSE(page->isRunning());
}

TEST_F(ScopePageThreaded, TriggerSettingsChangeWhileTheCollectorChecksThem)
{
    choose();
    auto* threshold = page->findChild<QLineEdit*>("KDLX_Scope_edit_TriggerThreshold");
    page->findChild<QRadioButton*>("cb_Trigger")->setChecked(true);
    page->findChild<QComboBox*>("KDLX_Scope_cmb_TriggerFS")->setCurrentIndex(0);
    threshold->setText("1e12");
    page->OnStartScope();
    // Values never get near 1e12: nothing is recorded while the user edits.
    for (int i = 0; i < 40; ++i) {
        threshold->setText(QString::number(1.0e12 + i));
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    EXPECT_TRUE(page->sampleTimes().empty());
    EXPECT_TRUE(page->isTriggerArmed());
    // Lowering the threshold below the data fires it on the collector thread.
    threshold->setText("0");
    ASSERT_TRUE(waitFor([&] { return !page->isTriggerArmed(); }, 5000));
    ASSERT_TRUE(waitFor([&] { return !page->sampleTimes().empty(); }, 5000));
}

TEST_F(ScopePageThreaded, StatusLineShowsRowsMissingAtTheControllerCycle)
{
    choose();
    auto* missing = page->findChild<QLabel*>("KDLX_Scope_lb_RowsMissing");
    ASSERT_NE(missing, nullptr);
    // 0..9, 15..19, 30: 5 and 10 rows missing; then the scripted link's
    // own rows from 0 on, whole.
    std::vector<_ST_ReadScopeData> first, second;
    for (int t = 0; t < 10; ++t)
        first.push_back(row(t));
    for (int t = 15; t < 20; ++t)
        second.push_back(row(t));
    second.push_back(row(30));
    link.queueBatch(first);
    link.queueBatch(second);
    page->OnStartScope();
    ASSERT_TRUE(waitFor([&] { return missing->text() == "15 rows missing in 2 gaps"; }, 5000))
        << missing->text().toStdString();
    // A new acquisition counts afresh.
    page->OnStopScope();
    page->OnStartScope();
    EXPECT_TRUE(missing->text().isEmpty());
    const int reads = link.reads();
    ASSERT_TRUE(waitFor([&] { return link.reads() >= reads + 4; }, 5000));
    EXPECT_TRUE(missing->text().isEmpty()) << missing->text().toStdString();
    page->OnStopScope();
}

TEST_F(ScopePageThreaded, PageCanBeDestroyedWhileSampling)
{
    choose();
    page->OnStartScope();
    ASSERT_TRUE(waitFor([&] { return page->sampleTimes().size() >= 51; }, 10000));
    page.reset();
    SUCCEED();
}

// Redraws take snapshots of the window while the collector appends and
// trims across chunk edges: every curve handed to the plot must be one
// coherent window (value k = time + k throughout, x starting at 0).
TEST_F(ScopePageThreaded, RedrawsWhileSamplingSeeWholeWindows)
{
    choose();
    page->findChild<QLineEdit*>("ScopePlugin_edit_PeriodTime")->setText("6000");
    // Large batches cross a chunk edge every few reads.
    for (int b = 0; b < 12; ++b) {
        std::vector<_ST_ReadScopeData> rows;
        for (int i = 0; i < 1500; ++i) {
            const double t = b * 1500.0 + i;
            rows.push_back(row(t, t));
        }
        link.queueBatch(rows);
    }
    page->OnStartScope();
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    int checked = 0;
    std::size_t most = 0;
    while (Clock::now() < deadline && (link.reads() < 14 || checked < 20)) {
        page->feedPlot();
        ++checked;
        for (int slot = 0; slot < 4; ++slot) {
            const QwtPlotCurve* curve = page->plot()->curve(slot);
            const std::size_t n = curve->dataSize();
            if (n == 0)
                continue;
            most = std::max(most, n);
            const double first = curve->sample(0).y() - curve->sample(0).x();
            ASSERT_EQ(curve->sample(0).x(), 0.0);
            for (std::size_t i = 1; i < n; ++i) {
                const QPointF p = curve->sample(i);
                ASSERT_EQ(p.y() - p.x(), first) << "slot " << slot << " sample " << i << " of " << n;
            }
            ASSERT_LE(curve->sample(n - 1).x(), 6000.0);
        }
        QThread::msleep(7);
    }
    page->OnStopScope();
    EXPECT_GT(most, ScopeSampleColumn::kChunkSize) << "windows spanning several chunks were drawn";
}
