#include "scopereadout.h"

#include "qwtscope.h"
#include "scopecursors.h"

#include <qwt_scale_div.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QScrollArea>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

ScopeReadoutPanel::ScopeReadoutPanel(QwtScope* plot, ScopeCursors* cursors, QWidget* parent)
    : QWidget(parent), m_plot(plot), m_cursors(cursors)
{
    setObjectName(QStringLiteral("ScopePlugin_readout"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    m_label = new QLabel(scroll);
    m_label->setObjectName(QStringLiteral("ScopePlugin_readoutText"));
    m_label->setTextFormat(Qt::RichText);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_label->setMargin(4);
    scroll->setWidget(m_label);
    layout->addWidget(scroll);
    setMinimumWidth(330);

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(kStatisticsDelayMs);
    connect(m_timer, &QTimer::timeout, this, &ScopeReadoutPanel::startStatistics);
    m_poll = new QTimer(this);
    m_poll->setInterval(15);
    connect(m_poll, &QTimer::timeout, this, &ScopeReadoutPanel::takeStatistics);
    connect(cursors, &ScopeCursors::changed, this, &ScopeReadoutPanel::plotChanged);
}

ScopeReadoutPanel::~ScopeReadoutPanel()
{
    // A run reads only its own copies; it ends within one run's time.
    if (m_run)
        m_run->thread.join();
}

void ScopeReadoutPanel::statisticsRange(double& from, double& to) const
{
    if (m_cursors->isOn()) {
        from = std::min(m_cursors->position(ScopeCursors::A), m_cursors->position(ScopeCursors::B));
        to = std::max(m_cursors->position(ScopeCursors::A), m_cursors->position(ScopeCursors::B));
    } else {
        const QwtScaleDiv& div = m_plot->axisScaleDiv(QwtPlot::xBottom);
        from = std::min(div.lowerBound(), div.upperBound());
        to = std::max(div.lowerBound(), div.upperBound());
    }
}

void ScopeReadoutPanel::plotChanged()
{
    if (!isVisible() && m_background)
        return; // nothing to show; the next show refreshes
    refreshValues();
    if (!m_background) {
        refreshNow();
        return;
    }
    if (!m_timer->isActive())
        m_timer->start();
}

void ScopeReadoutPanel::refreshNow()
{
    refreshValues();
    double from = 0.0, to = 0.0;
    statisticsRange(from, to);
    const std::vector<Job> work = jobs();
    std::vector<ScopeStatistics> stats;
    stats.reserve(work.size());
    for (const Job& job : work)
        stats.push_back(statisticsOf(job, from, to));
    applyStatistics(stats, m_generation);
}

std::vector<ScopeReadoutPanel::Job> ScopeReadoutPanel::jobs() const
{
    std::vector<Job> work;
    for (QwtPlotCurve* item : m_plot->attachedCurves()) {
        const auto* curve = static_cast<const ScopeCurve*>(item);
        const ScopeCurveData* data = curve->isVisible() ? curve->scopeData() : nullptr;
        if (!data || data->size() == 0)
            continue;
        work.push_back(Job{data->xSeries(), data->ySeries(), data->isSortedX()});
    }
    return work;
}

ScopeStatistics ScopeReadoutPanel::statisticsOf(const Job& job, double from, double to)
{
    const std::size_t n = std::min(job.x.size(), job.y.size());
    if (n == 0)
        return ScopeStatistics();
    if (job.sorted) {
        ScopeChunkedValues times = job.x.chunked();
        times.size = n;
        const ScopeIndexRange r = scopeanalysis::indexRange(times, from, to);
        if (r.empty())
            return ScopeStatistics();
        return scopeanalysis::statistics(job.y.chunked(), r.first, r.last);
    }
    ScopeStatistics stats;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = job.x.at(i);
        if (t >= from && t <= to)
            stats.add(job.y.at(i));
    }
    return stats;
}

void ScopeReadoutPanel::startStatistics()
{
    if (m_run) {
        m_again = true;
        return;
    }
    double from = 0.0, to = 0.0;
    statisticsRange(from, to);
    std::vector<Job> work = jobs();
    m_again = false;
    m_run = std::make_unique<Run>();
    Run* run = m_run.get();
    run->generation = m_generation;
    run->thread = std::thread([run, work = std::move(work), from, to]() {
        std::vector<ScopeStatistics> stats;
        stats.reserve(work.size());
        for (const Job& job : work)
            stats.push_back(statisticsOf(job, from, to));
        run->stats = std::move(stats);
        run->done.store(true, std::memory_order_release);
    });
    m_poll->start();
}

void ScopeReadoutPanel::takeStatistics()
{
    if (!m_run || !m_run->done.load(std::memory_order_acquire))
        return;
    m_poll->stop();
    m_run->thread.join();
    const std::vector<ScopeStatistics> stats = std::move(m_run->stats);
    const quint64 generation = m_run->generation;
    m_run.reset();
    applyStatistics(stats, generation);
    if (m_again)
        m_timer->start();
}

void ScopeReadoutPanel::applyStatistics(const std::vector<ScopeStatistics>& stats, quint64 generation)
{
    // Figures of other curves than those shown wait for the next run.
    if (generation != m_generation && int(stats.size()) != m_readout.curves.size()) {
        m_again = true;
        return;
    }
    if (int(stats.size()) != m_readout.curves.size())
        return;
    if (generation != m_generation)
        m_again = true; // the range moved meanwhile: one more run follows
    for (int i = 0; i < m_readout.curves.size(); ++i)
        m_readout.curves[i].stats = stats[std::size_t(i)];
    statisticsRange(m_readout.rangeFrom, m_readout.rangeTo);
    m_readout.statsReady = true;
    render();
}

void ScopeReadoutPanel::refreshValues()
{
    ++m_generation;
    ScopeReadout next;
    next.cursors = m_cursors->isOn();
    next.tA = m_cursors->position(ScopeCursors::A);
    next.tB = m_cursors->position(ScopeCursors::B);
    statisticsRange(next.rangeFrom, next.rangeTo);
    for (QwtPlotCurve* item : m_plot->attachedCurves()) {
        const auto* curve = static_cast<const ScopeCurve*>(item);
        const ScopeCurveData* data = curve->isVisible() ? curve->scopeData() : nullptr;
        if (!data || data->size() == 0)
            continue;
        ScopeReadoutCurve c;
        c.title = curve->title().text();
        c.unit = m_plot->curveInfo(m_plot->slotOf(curve)).strUnit;
        c.colour = curve->pen().color().name();
        if (next.cursors) {
            // The sample nearest in time, as the tracker marks it under a
            // vertical line through the cursor.
            auto nearest = [data](double t) -> long {
                if (data->isSortedX()) {
                    ScopeChunkedValues times = data->xSeries().chunked();
                    times.size = data->size();
                    return scopeanalysis::nearestIndex(times, t);
                }
                long best = -1;
                double bestDistance = std::numeric_limits<double>::infinity();
                for (int i = 0; i < int(data->size()); ++i) {
                    const double d = std::abs(data->xAt(i) - t);
                    if (d < bestDistance) {
                        bestDistance = d;
                        best = i;
                    }
                }
                return best;
            };
            const long a = nearest(next.tA), b = nearest(next.tB);
            c.hasA = a >= 0;
            c.hasB = b >= 0;
            c.atA = c.hasA ? data->yAt(int(a)) : 0.0;
            c.atB = c.hasB ? data->yAt(int(b)) : 0.0;
        }
        next.curves.append(c);
    }
    // The statistics shown stay until the next run replaces them, when they
    // are of the same curves.
    bool same = next.curves.size() == m_readout.curves.size();
    for (int i = 0; same && i < next.curves.size(); ++i)
        same = next.curves[i].title == m_readout.curves[i].title;
    next.statsReady = same && m_readout.statsReady;
    if (same) {
        for (int i = 0; i < next.curves.size(); ++i)
            next.curves[i].stats = m_readout.curves[i].stats;
        next.rangeFrom = m_readout.rangeFrom;
        next.rangeTo = m_readout.rangeTo;
    } else {
        next.statsReady = false;
    }
    m_readout = next;
    render();
}

namespace {

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString num(double value)
{
    return scopeanalysis::number(value);
}

} // namespace

void ScopeReadoutPanel::render()
{
    const ScopeReadout& r = m_readout;
    m_remarks.clear();
    QString html = QStringLiteral("<style>td{padding:0 4px;} th{padding:0 4px; text-align:left;}</style>");
    if (r.curves.isEmpty())
        m_remarks << tr("No data on the plot: nothing to measure.");
    if (r.cursors) {
        const double dt = r.tB - r.tA;
        html += QStringLiteral("<table>");
        html += QStringLiteral("<tr><td><b>t(A)</b></td><td>%1 ms</td></tr>").arg(num(r.tA));
        html += QStringLiteral("<tr><td><b>t(B)</b></td><td>%1 ms</td></tr>").arg(num(r.tB));
        html += QStringLiteral("<tr><td><b>&Delta;t</b></td><td>%1 ms</td></tr>").arg(num(dt));
        html += QStringLiteral("<tr><td><b>1/&Delta;t</b></td><td>%1</td></tr>")
                    .arg(dt != 0.0 ? num(1000.0 / std::abs(dt)) + QStringLiteral(" Hz") : QStringLiteral("&mdash;"));
        html += QStringLiteral("</table>");
        if (dt == 0.0)
            m_remarks << tr("A and B are at the same time: no time difference to measure.");
        if (!r.curves.isEmpty()) {
            html += QStringLiteral("<table><tr><th></th><th>%1</th><th>A</th><th>B</th><th>&Delta;Y</th></tr>")
                        .arg(esc(tr("curve")));
            for (const ScopeReadoutCurve& c : r.curves) {
                html += QStringLiteral("<tr><td><font color=\"%1\">&#9632;</font></td><td>%2</td>"
                                       "<td>%3</td><td>%4</td><td>%5 %6</td></tr>")
                            .arg(c.colour, esc(c.title), c.hasA ? num(c.atA) : QString(),
                                 c.hasB ? num(c.atB) : QString(),
                                 c.hasA && c.hasB ? num(c.atB - c.atA) : QString(), esc(c.unit));
            }
            html += QStringLiteral("</table>");
        }
    }
    if (!r.curves.isEmpty()) {
        html += QStringLiteral("<p><b>%1</b> %2 &ndash; %3 ms</p>")
                    .arg(esc(r.cursors ? tr("Statistics A..B") : tr("Statistics of the visible range")),
                         num(r.rangeFrom), num(r.rangeTo));
        if (!r.statsReady) {
            html += QStringLiteral("<p>%1</p>").arg(esc(tr("working out…")));
        } else {
            html += QStringLiteral("<table><tr><th></th><th>%1</th><th>n</th><th>min</th><th>max</th><th>p-p</th>"
                                   "<th>%2</th><th>RMS</th><th>%3</th></tr>")
                        .arg(esc(tr("curve")), esc(tr("mean")), esc(tr("std dev")));
            int left = 0, empty = 0, single = 0;
            for (const ScopeReadoutCurve& c : r.curves) {
                const ScopeStatistics& s = c.stats;
                left += s.nonFinite > 0;
                empty += s.empty();
                single += s.samples == 1;
                // With the cursors on, the table above names the units.
                const QString name = r.cursors || c.unit.isEmpty()
                                         ? esc(c.title)
                                         : QStringLiteral("%1 [%2]").arg(esc(c.title), esc(c.unit));
                html += QStringLiteral("<tr><td><font color=\"%1\">&#9632;</font></td><td>%2</td><td>%3</td>")
                            .arg(c.colour, name)
                            .arg(qulonglong(s.samples));
                if (s.empty()) {
                    html += QStringLiteral("<td colspan=\"6\">%1</td></tr>").arg(esc(scopeanalysis::statisticsProblem(s)));
                    continue;
                }
                html += QStringLiteral("<td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>")
                            .arg(num(s.min), num(s.max), num(s.peakToPeak()), num(s.mean), num(s.rms()),
                                 num(s.stdDev()));
            }
            html += QStringLiteral("</table>");
            if (empty > 0)
                m_remarks << tr("%n curve(s) have no finite sample in the range.", nullptr, empty);
            if (single > 0)
                m_remarks << tr("%n curve(s) have a single sample in the range: no spread.", nullptr, single);
            if (left > 0)
                m_remarks << tr("Samples that are not numbers are left out (%n curve(s)).", nullptr, left);
        }
    }
    for (const QString& remark : m_remarks)
        html += QStringLiteral("<p><i>%1</i></p>").arg(esc(remark));
    if (r.cursors || !r.curves.isEmpty())
        html += QStringLiteral("<p><small>%1</small></p>").arg(esc(tr("Ctrl+C copies the readout.")));
    m_label->setText(html);
}

QString ScopeReadoutPanel::shownText() const
{
    QTextDocument doc;
    doc.setHtml(m_label->text());
    return doc.toPlainText();
}

void ScopeReadoutPanel::copyToClipboard()
{
    QApplication::clipboard()->setText(text());
}
