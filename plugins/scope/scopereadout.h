// The measuring readout beside the scope plot: the cursors' times, each
// visible curve's value at A and B, and the statistics of every visible
// curve between A and B (the visible time range while the cursors are off).
//
// The values follow the cursors at once: a few binary searches. The
// statistics read every sample of the range, so they are worked out on a
// thread of their own from copies of the curves' series (which share the
// samples, never copy them), at most one run at a time and at most every
// kStatisticsDelayMs: the live redraw never waits for them. The run hands
// its figures over through its end (a flag the GUI thread polls, then a
// join) and shares nothing else with the GUI thread.
#pragma once

#include "scopeanalysis.h"
#include "scopecurvedata.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QLabel;
class QTimer;
class QwtScope;
class ScopeCursors;

class ScopeReadoutPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kStatisticsDelayMs = 150;

    ScopeReadoutPanel(QwtScope* plot, ScopeCursors* cursors, QWidget* parent = nullptr);
    ~ScopeReadoutPanel() override;

    // The readout as shown (values current, statistics of the last run).
    const ScopeReadout& readout() const { return m_readout; }
    // Tab-separated text of the readout, as Ctrl+C copies it.
    QString text() const { return scopeanalysis::readoutText(m_readout); }
    // The problems the readout states in words (no data, A = B, ...).
    const QStringList& remarks() const { return m_remarks; }
    // The shown text without markup, for tests.
    QString shownText() const;

    // Wide enough for the values at A and B with their unit.
    QSize sizeHint() const override { return QSize(600, 300); }

    // Off: the statistics are worked out at once on this thread (tests).
    void setBackground(bool on) { m_background = on; }

    // The time range the statistics cover: A..B, or the visible range.
    void statisticsRange(double& from, double& to) const;

public slots:
    // The curves, the scales or the cursors changed: values now, statistics
    // soon.
    void plotChanged();
    // Values and statistics now, on this thread.
    void refreshNow();
    void copyToClipboard();

private:
    struct Job
    {
        ScopeSeries x, y;
        bool sorted = true;
    };
    static ScopeStatistics statisticsOf(const Job& job, double from, double to);

    void refreshValues();
    void startStatistics();
    void takeStatistics();
    void applyStatistics(const std::vector<ScopeStatistics>& stats, quint64 generation);
    std::vector<Job> jobs() const;
    void render();

    QwtScope* m_plot;
    ScopeCursors* m_cursors;
    QLabel* m_label;
    QTimer* m_timer;
    ScopeReadout m_readout;
    QStringList m_remarks;
    bool m_background = true;
    struct Run
    {
        std::thread thread;
        std::atomic<bool> done{false};
        std::vector<ScopeStatistics> stats;
        quint64 generation = 0;
    };
    std::unique_ptr<Run> m_run; // the run under way, joined before it goes
    QTimer* m_poll;
    bool m_again = false;
    quint64 m_generation = 0; // of the curves and range the readout shows
};
