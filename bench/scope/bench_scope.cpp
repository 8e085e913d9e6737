// Figures for the scope page: append + trim of one row into the sample store
// (window of 1,000 and 1,000,000 rows, 36 channels) against the plain
// reading of removing the front of 48 growable arrays; one collector batch
// (51 rows, 36 channels) through the page; one redraw of 36 x 10,000 samples;
// the page's sixth-tick redraw at 1100 x 500 canvas pixels for 10,000 and
// 1,000,000 rows, with the process's resident memory against the raw bytes;
// the import of a file of 100,000 rows of 36 curves from disk.
#include "ResidentMemory.h"
#include "ScopePageSupport.h"

#include "VX_Prod.h"
#include "qwtscope.h"
#include "scopederived.h"
#include "scopefile.h"
#include "scopesamplestore.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QVector>

#include <qwt_plot_canvas.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace scopetest;

namespace {

// Rows come from a precomputed table, so the figures measure the store and
// the page, not the making of test values.
_ST_ReadScopeData rowAt(double t)
{
    static const std::vector<_ST_ReadScopeData> table = [] {
        std::vector<_ST_ReadScopeData> rows(4096);
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (int k = 0; k < 36; ++k)
                rows[i].values[k] = std::sin(double(i) * 0.01 + k) * (k + 1);
        return rows;
    }();
    _ST_ReadScopeData r = table[std::size_t(int64_t(t)) % table.size()];
    r.time = t;
    return r;
}

void BM_StoreAppendTrim(benchmark::State& state)
{
    const int window = int(state.range(0));
    ScopeSampleStore store;
    ScopeSampleStore::SlotMask all;
    for (int k = 0; k < 36; ++k)
        all.set(k);
    store.reset(all);
    // Rows 1 ms apart; a span of window - 1 ms keeps exactly `window` rows.
    store.setSpan(window - 1);
    double t = 0;
    for (; t < window; ++t)
        store.appendRow(rowAt(t));
    for (auto _ : state) {
        store.appendRow(rowAt(t++));
        benchmark::DoNotOptimize(store.rowCount());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows_kept"] = double(store.rowCount());
}
BENCHMARK(BM_StoreAppendTrim)->Arg(1000)->Arg(1000000)->Unit(benchmark::kNanosecond);

// The straightforward reading: 48 arrays plus a time array, and removing the
// oldest sample shifts every array down by one.
void BM_PlainArraysAppendTrim(benchmark::State& state)
{
    const int window = int(state.range(0));
    QVector<double> values[48];
    QVector<double> times;
    const double span = window - 1;
    auto append = [&](const _ST_ReadScopeData& r) {
        for (int k = 0; k < 36; ++k)
            values[k].append(r.values[k]);
        times.append(r.time);
        while (!times.isEmpty() && times.last() - times.first() > span) {
            times.removeFirst();
            for (QVector<double>& v : values)
                if (!v.isEmpty())
                    v.removeFirst();
        }
    };
    double t = 0;
    for (; t < window; ++t)
        append(rowAt(t));
    for (auto _ : state) {
        append(rowAt(t++));
        benchmark::DoNotOptimize(times.size());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows_kept"] = double(times.size());
}
BENCHMARK(BM_PlainArraysAppendTrim)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// A page running 36 channels (J1..J6 x six link channels) with a scripted
// link; the collector thread is off, the benchmark runs the cycles.
struct LivePage
{
    LivePage()
    {
        page.setCollectorEnabled(false);
        page.setLinkCalls(link.calls());
        page.messageBox = [](QMessageBox::Icon, const QString&, const QString&) {};
        chooseThirtySixChannels(page.settingDialog());
        page.OnStartScope();
        link.generate([](double t) { return rowAt(t); });
    }
    FakeLink link;
    VXPlugin_Scope page;
};

void BM_CollectorBatch51Rows(benchmark::State& state)
{
    LivePage live;
    // Fill the default 10 s window first, so trimming runs in every batch.
    for (int i = 0; i < 200; ++i)
        live.page.readScopeOnce();
    for (auto _ : state)
        live.page.readScopeOnce();
    state.SetItemsProcessed(state.iterations() * 51);
    state.counters["rows_kept"] = double(live.page.sampleTimes().size());
}
BENCHMARK(BM_CollectorBatch51Rows)->Unit(benchmark::kMicrosecond);

// One redraw as the timer does it: copy the window out of the store, hand 36
// curves to the plot, fit the axis; then paint the canvas.
void BM_Redraw36x10000(benchmark::State& state)
{
    const bool paint = state.range(0) != 0;
    LivePage live;
    live.page.resize(1137, 620);
    live.page.show();
    while (live.page.sampleTimes().size() < 10000)
        live.page.readScopeOnce();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        live.page.feedPlot();
        if (paint)
            live.page.plot()->canvas()->repaint();
    }
    state.counters["samples_per_curve"] = double(live.page.plot()->curve(0)->dataSize());
    state.SetLabel(paint ? "feed + paint" : "feed only");
}
BENCHMARK(BM_Redraw36x10000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

using vxtest::residentMegabytes;

// The timer's redraw of a page holding `rows` rows of 36 channels: snapshot
// under the data lock, 36 curves handed over, Y fit, canvas painted. With
// `advance` 0 the same window is drawn cold each time (nothing kept from the
// redraw before); otherwise the window moves on by that many rows between
// redraws, as a running page's does (the appends are not timed).
void BM_PageRedraw(benchmark::State& state)
{
    const int rows = int(state.range(0));
    const int advance = int(state.range(1));
    LivePage live;
    live.page.findChild<QLineEdit*>(QStringLiteral("ScopePlugin_edit_PeriodTime"))
        ->setText(QString::number(std::max(rows - 1, 10000)));
    live.page.show();
    // Size the page so the canvas is 1100 x 500 pixels.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        const QSize canvas = live.page.plot()->canvas()->size();
        live.page.resize(live.page.size() + QSize(1100, 500) - canvas);
    }
    QCoreApplication::processEvents();
    int next = 0;
    for (; next < rows; ++next)
        live.page.appendRow(rowAt(next));
    for (auto _ : state) {
        if (advance > 0) {
            state.PauseTiming();
            for (const int end = next + advance; next < end; ++next)
                live.page.appendRow(rowAt(next));
            state.ResumeTiming();
        } else {
            for (int c = 0; c < QwtScope::kCurveSlots; ++c)
                live.page.plot()->curve(c)->forgetColumns();
        }
        live.page.feedPlot();
        live.page.plot()->canvas()->repaint();
    }
    const double raw = double(rows) * 37 * 8 / 1e6;
    const QSize canvas = live.page.plot()->canvas()->size();
    state.counters["samples_per_curve"] = double(live.page.plot()->curve(0)->dataSize());
    state.counters["canvas_w"] = canvas.width();
    state.counters["canvas_h"] = canvas.height();
    state.counters["raw_MB"] = raw;
    // The whole process: Qt, the page, the store and the plot's snapshot.
    state.counters["rss_MB"] = residentMegabytes();
}
BENCHMARK(BM_PageRedraw)->ArgsProduct({{10000, 1000000}, {0, 384}})->Unit(benchmark::kMillisecond);

// Files: 100,000 rows of 36 curves (about 30 MB) as the export writes them.
// Import and export are set against their floors: the same numbers parsed
// with std::from_chars alone, and formatted with std::to_chars alone.
constexpr int kFileRows = 100000;

const QVector<scopefile::Curve>& fileCurves()
{
    static const QVector<scopefile::Curve> curves = [] {
        QVector<scopefile::Curve> c(36);
        for (int k = 0; k < 36; ++k) {
            c[k].title = QStringLiteral("C%1").arg(k);
            for (int r = 0; r < kFileRows; ++r) {
                c[k].x.append(r);
                c[k].y.append(rowAt(r).values[k]);
            }
        }
        return c;
    }();
    return curves;
}

// The file's bytes (header included), as written by the export.
const QByteArray& fileBytes()
{
    static const QByteArray bytes = [] {
        QByteArray b;
        QBuffer out(&b);
        out.open(QIODevice::WriteOnly);
        scopefile::writeLines(out, fileCurves());
        return b;
    }();
    return bytes;
}

void BM_ImportFile100kRows(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    {
        QFile f(path);
        if (!dir.isValid() || !f.open(QIODevice::WriteOnly) || f.write(fileBytes()) != fileBytes().size()) {
            state.SkipWithError("cannot write the file");
            return;
        }
    }
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const scopefile::ReadResult r = scopefile::readFile(f);
        if (r.error != scopefile::ReadError::None || r.content.times.size() != kFileRows) {
            state.SkipWithError("the file did not read back");
            break;
        }
        benchmark::DoNotOptimize(r.content.curves.data());
    }
    state.SetBytesProcessed(state.iterations() * QFile(path).size());
}
BENCHMARK(BM_ImportFile100kRows)->Unit(benchmark::kMillisecond);

// Twelve derived channels evaluated for one row, as the collector does for
// every row it appends: differences, products, roots, slopes and averages.
void BM_DerivedEvaluate12(benchmark::State& state)
{
    QVector<scopederived::Source> sources;
    for (int j = 1; j <= 6; ++j) {
        sources.append({QStringLiteral("J%1 Target ACS").arg(j), 2 * (j - 1)});
        sources.append({QStringLiteral("J%1 Actual ACS").arg(j), 2 * (j - 1) + 1});
    }
    QVector<scopederived::Definition> defs;
    for (int j = 1; j <= 6; ++j)
        defs.append({QStringLiteral("J%1 Following Error").arg(j), QStringLiteral("deg"),
                     QStringLiteral("[J%1 Target ACS] - [J%1 Actual ACS]").arg(j)});
    defs.append({"Speed", "", "deriv([J1 Actual ACS])"});
    defs.append({"Mean", "", "movavg([J2 Actual ACS], 50)"});
    defs.append({"Power", "", "abs([J3 Target ACS]) * 0.5 * [J3 Actual ACS]"});
    defs.append({"Norm", "", "sqrt([J4 Actual ACS]^2 + [J5 Actual ACS]^2 + [J6 Actual ACS]^2)"});
    defs.append({"Smooth slope", "", "movavg(deriv([J2 Target ACS]), 20)"});
    defs.append({"Ratio", "", "[J6 Target ACS] / ([J6 Actual ACS] + 1e-9)"});
    auto set = scopederived::ScopeDerivedSet::compile(defs, sources, QStringList(), nullptr, nullptr);
    if (!set || set->count() != 12) {
        state.SkipWithError("the definitions did not compile");
        return;
    }
    double out[scopederived::kMaxChannels];
    double t = 0;
    for (auto _ : state) {
        const _ST_ReadScopeData row = rowAt(t++);
        set->evaluate(row.time, row.values, out);
        benchmark::DoNotOptimize(out[11]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DerivedEvaluate12)->Unit(benchmark::kNanosecond);

// The floor of the import: every number of the file's rows read with
// std::from_chars into one preallocated array, nothing else. A function of
// its own, so that scripts/bench.sh can count its instructions.
__attribute__((noinline)) std::size_t parseNumbers(const char* p, const char* end, std::vector<double>& values)
{
    std::size_t n = 0;
    while (p < end && n < values.size()) {
        const auto res = std::from_chars(p, end, values[n++]);
        p = res.ptr + 1; // the "," or line feed after the number
    }
    return n;
}

void BM_ParseNumbers100kRows(benchmark::State& state)
{
    const QByteArray& bytes = fileBytes();
    const char* const rows = bytes.constData() + bytes.indexOf('\n') + 1;
    const char* const end = bytes.constData() + bytes.size();
    std::vector<double> values(std::size_t(kFileRows) * 37);
    for (auto _ : state) {
        const std::size_t n = parseNumbers(rows, end, values);
        if (n != values.size()) {
            state.SkipWithError("not every number was read");
            break;
        }
        benchmark::DoNotOptimize(values.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ParseNumbers100kRows)->Unit(benchmark::kMillisecond);

void BM_ExportFile100kRows(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    const QVector<scopefile::Curve>& curves = fileCurves();
    for (auto _ : state) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || scopefile::writeFile(f, curves) != scopefile::WriteResult::Done) {
            state.SkipWithError("cannot write the file");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * fileBytes().size());
}
BENCHMARK(BM_ExportFile100kRows)->Unit(benchmark::kMillisecond);

// The floor of the export: the same numbers formatted with std::to_chars
// (three decimals) and a separator each into one preallocated buffer.
void BM_FormatNumbers100kRows(benchmark::State& state)
{
    const QVector<scopefile::Curve>& curves = fileCurves();
    std::vector<char> buffer(std::size_t(fileBytes().size()) + 4096);
    for (auto _ : state) {
        char* p = buffer.data();
        char* const end = p + buffer.size();
        for (int r = 0; r < kFileRows; ++r) {
            p = std::to_chars(p, end, curves[0].x[r], std::chars_format::fixed, 3).ptr;
            for (const scopefile::Curve& c : curves) {
                *p++ = ',';
                p = std::to_chars(p, end, c.y[r], std::chars_format::fixed, 3).ptr;
            }
            *p++ = '\n';
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * fileBytes().size());
}
BENCHMARK(BM_FormatNumbers100kRows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
