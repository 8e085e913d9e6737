// Redraw and tracker cost of the scope plot at the page's feeding sizes:
// 36 curves of 10,000 samples (default period) and of 1,000,000 samples, fed
// from vectors and, as the live page feeds them, from a sample store's
// snapshot; the snapshot itself (what the data lock is held for) against
// copying the window out; the plain Qwt drawing of the same window.
#include "qwtscope.h"
#include "scopecurvedata.h"
#include "scopedatatracker.h"
#include "scopesamplestore.h"
#include "scope_bench_data.h"

#include "VX_Prod.h"

#include <qwt_plot_canvas.h>
#include <qwt_scale_map.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>

namespace {

void dropDebug(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qPrintable(msg));
}

struct Scope
{
    std::unique_ptr<QwtScope> plot;
    QVector<double> x;
    std::vector<QVector<double>> ys;

    explicit Scope(int samples)
    {
        plot = std::make_unique<QwtScope>();
        plot->resize(1100, 500);
        plot->show();
        QApplication::processEvents();
        x.resize(samples);
        for (int i = 0; i < samples; ++i)
            x[i] = 10000.0 * i / samples;
        scopebench::Signal signal(samples, 7);
        for (int c = 0; c < 36; ++c) {
            QVector<double> y(samples);
            for (int i = 0; i < samples; ++i)
                y[i] = signal(i, c);
            ys.push_back(y);
        }
        scopebench::setUpCurves(*plot);
        feed();
        plot->setXAxis(0, 10000, 1000);
        plot->replot();
        plot->updateAxes();
    }

    void feed()
    {
        double lo, hi;
        for (int c = 0; c < 36; ++c)
            plot->setCurveSamples(c, x, ys[static_cast<size_t>(c)], lo, hi);
    }
};

void BM_HandOver36Curves(benchmark::State& state)
{
    Scope scope(static_cast<int>(state.range(0)));
    for (auto _ : state)
        scope.feed();
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

void BM_Redraw36Curves(benchmark::State& state)
{
    Scope scope(static_cast<int>(state.range(0)));
    QImage image(scope.plot->canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        scope.plot->drawCanvas(&painter);
    }
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

// The canvas without curves (grid only), as the baseline of a redraw.
void BM_RedrawGridOnly(benchmark::State& state)
{
    Scope scope(10);
    for (int c = 0; c < 36; ++c)
        scope.plot->curve(c)->detach();
    QImage image(scope.plot->canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        scope.plot->drawCanvas(&painter);
    }
}

// The same redraw with Qwt's own line drawing, for comparison.
void BM_Redraw36CurvesPlainQwt(benchmark::State& state)
{
    const int samples = static_cast<int>(state.range(0));
    Scope scope(samples);
    std::vector<std::unique_ptr<QwtPlotCurve>> plain;
    for (int c = 0; c < 36; ++c) {
        scope.plot->curve(c)->detach();
        auto curve = std::make_unique<QwtPlotCurve>();
        curve->setPen(scope.plot->curve(c)->pen());
        curve->setPaintAttribute(QwtPlotCurve::ClipPolygons, true);
        curve->setSamples(scope.x, scope.ys[static_cast<size_t>(c)]);
        curve->attach(scope.plot.get());
        plain.push_back(std::move(curve));
    }
    QImage image(scope.plot->canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        scope.plot->drawCanvas(&painter);
    }
    for (auto& curve : plain)
        curve->detach();
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

void BM_TrackerMove(benchmark::State& state)
{
    Scope scope(static_cast<int>(state.range(0)));
    const QSize size = scope.plot->canvas()->size();
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> px(0, size.width() - 1), py(0, size.height() - 1);
    for (auto _ : state) {
        scope.plot->tracker()->calcClosestPoint(QPoint(px(rng), py(rng)));
        benchmark::DoNotOptimize(scope.plot->tracker()->closestPoint().index);
    }
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

// What a plain pass over every sample of every curve costs per move.
void BM_TrackerMoveFullScan(benchmark::State& state)
{
    Scope scope(static_cast<int>(state.range(0)));
    const QwtScaleMap xMap = scope.plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = scope.plot->canvasMap(QwtPlot::yLeft);
    const QSize size = scope.plot->canvas()->size();
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> px(0, size.width() - 1), py(0, size.height() - 1);
    for (auto _ : state) {
        const QPoint pos(px(rng), py(rng));
        qint64 best = std::numeric_limits<qint64>::max();
        for (int c = 0; c < 36; ++c) {
            const QwtSeriesData<QPointF>& data = *scope.plot->curve(c)->data();
            for (size_t i = 0; i < data.size(); ++i) {
                const QPointF s = data.sample(i);
                const qint64 dx = scopePixel(xMap, s.x()) - pos.x();
                const qint64 dy = scopePixel(yMap, s.y()) - pos.y();
                best = std::min(best, dx * dx + dy * dy);
            }
        }
        benchmark::DoNotOptimize(best);
    }
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

// A store holding `rows` rows of 36 channels, 1 ms apart, built once per size.
ScopeSampleStore& filledStore(int rows)
{
    static std::map<int, std::unique_ptr<ScopeSampleStore>> stores;
    auto& store = stores[rows];
    if (!store) {
        stores.clear();  // one large store at a time
        stores[rows] = scopebench::filledStore(rows);
    }
    return *stores[rows];
}

// A plot whose canvas is 1100 x 500 pixels, 36 curves set up.
std::unique_ptr<QwtScope> sizedPlot()
{
    auto plot = std::make_unique<QwtScope>();
    plot->resize(1100, 500);
    plot->show();
    for (int round = 0; round < 3; ++round) {
        QApplication::processEvents();
        plot->resize(plot->size() + QSize(1100, 500) - plot->canvas()->size());
    }
    QApplication::processEvents();
    scopebench::setUpCurves(*plot);
    return plot;
}

// What the page does with a snapshot: x with the oldest stamp subtracted as
// it is read, 36 curves, the Y fit over their ranges.
void feedSnapshot(QwtScope& plot, const ScopeSampleStore::Snapshot& snap)
{
    const ScopeSeries x(snap.times, ScopeSeries(snap.times).at(0));
    double low = 0.0, high = 0.0;
    for (int c = 0; c < 36; ++c) {
        const ScopeRange range =
            plot.setCurveSeries(c, x, ScopeSeries(snap.values[c]), snap.sortedTimes).value_or(ScopeRange{0.0, 0.0});
        const double lo = range.min, hi = range.max;
        low = c == 0 ? lo : std::min(low, lo);
        high = c == 0 ? hi : std::max(high, hi);
    }
    const double half = std::max((high - low) * 1.01 / 2.0, 0.01);
    plot.setYAxis((high + low) / 2.0 - half, (high + low) / 2.0 + half);
}

// Held under the page's data lock once per redraw.
void BM_StoreSnapshot(benchmark::State& state)
{
    ScopeSampleStore& store = filledStore(int(state.range(0)));
    for (auto _ : state) {
        ScopeSampleStore::Snapshot snap = store.snapshot();
        benchmark::DoNotOptimize(snap.times.get());
    }
}

// The former hand-over: copy the window out of the store into vectors.
void BM_StoreCopyOut(benchmark::State& state)
{
    ScopeSampleStore& store = filledStore(int(state.range(0)));
    for (auto _ : state) {
        QVector<double> x(int(store.rowCount()));
        store.times().copyTo(x.data(), store.times().front());
        std::vector<QVector<double>> ys(36);
        for (int c = 0; c < 36; ++c) {
            ys[size_t(c)].resize(int(store.rowCount()));
            store.slot(c).copyTo(ys[size_t(c)].data());
        }
        benchmark::DoNotOptimize(ys.back().data());
    }
}

void forgetColumns(QwtScope& plot)
{
    for (int c = 0; c < QwtScope::kCurveSlots; ++c)
        plot.curve(c)->forgetColumns();
}

// One redraw with nothing kept from the one before. A function of its own,
// so that scripts/bench.sh can count its instructions under callgrind.
__attribute__((noinline)) void coldRedraw(QwtScope& plot, ScopeSampleStore& store, QImage& image)
{
    feedSnapshot(plot, store.snapshot());
    forgetColumns(plot);
    image.fill(Qt::white);
    QPainter painter(&image);
    plot.drawCanvas(&painter);
}

// One sixth-tick redraw from the store: snapshot, hand-over, Y fit, paint.
// Cold: nothing is kept from the redraw before, every column is read from
// the values.
void BM_SnapshotRedraw(benchmark::State& state)
{
    ScopeSampleStore& store = filledStore(int(state.range(0)));
    auto plot = sizedPlot();
    plot->setXAxis(0, double(state.range(0)), double(state.range(0)) / 10);
    plot->replot();
    QImage image(plot->canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        coldRedraw(*plot, store, image);
    state.counters["canvas_w"] = image.width();
    state.counters["canvas_h"] = image.height();
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

// The running page's redraw: between two redraws the window moved on by
// 384 rows (six status ticks of 64 ms at 1 kHz); the appends are not timed.
void BM_SnapshotRedrawLive(benchmark::State& state)
{
    const int rows = int(state.range(0));
    scopebench::Signal signal(rows, 11);
    const std::unique_ptr<ScopeSampleStore> store = scopebench::filledStore(rows, &signal);
    int next = rows;
    auto plot = sizedPlot();
    plot->setXAxis(0, double(rows), double(rows) / 10);
    plot->replot();
    QImage image(plot->canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        scopebench::appendRows(*store, signal, next, 384);
        next += 384;
        state.ResumeTiming();
        feedSnapshot(*plot, store->snapshot());
        image.fill(Qt::white);
        QPainter painter(&image);
        plot->drawCanvas(&painter);
    }
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

// The same window drawn by plain Qwt curves (every sample a polyline
// point) on the same 1100 x 500 canvas, for comparison.
void BM_SnapshotRedrawPlainQwt(benchmark::State& state)
{
    ScopeSampleStore& store = filledStore(int(state.range(0)));
    auto plot = sizedPlot();
    plot->setXAxis(0, double(state.range(0)), double(state.range(0)) / 10);
    feedSnapshot(*plot, store.snapshot());  // the same Y fit
    QVector<double> x(int(store.rowCount()));
    store.times().copyTo(x.data(), store.times().front());
    std::vector<std::unique_ptr<QwtPlotCurve>> plain;
    for (int c = 0; c < 36; ++c) {
        QVector<double> y(int(store.rowCount()));
        store.slot(c).copyTo(y.data());
        plot->curve(c)->detach();
        auto curve = std::make_unique<QwtPlotCurve>();
        curve->setPen(plot->curve(c)->pen());
        curve->setPaintAttribute(QwtPlotCurve::ClipPolygons, true);
        curve->setSamples(x, y);
        curve->attach(plot.get());
        plain.push_back(std::move(curve));
    }
    plot->replot();
    QImage image(plot->canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        plot->drawCanvas(&painter);
    }
    for (auto& curve : plain)
        curve->detach();
    state.counters["canvas_w"] = image.width();
    state.counters["canvas_h"] = image.height();
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

// The parts of that redraw: the hand-over alone, and the hand-over with
// the column spans of all 36 curves worked out but not painted.
void BM_SnapshotFeedParts(benchmark::State& state)
{
    ScopeSampleStore& store = filledStore(int(state.range(0)));
    const bool sketch = state.range(1) != 0;
    auto plot = sizedPlot();
    plot->setXAxis(0, double(state.range(0)), double(state.range(0)) / 10);
    plot->replot();
    plot->updateAxes();
    const QwtScaleMap xMap = plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = plot->canvasMap(QwtPlot::yLeft);
    for (auto _ : state) {
        feedSnapshot(*plot, store.snapshot());
        if (!sketch)
            continue;
        for (int c = 0; c < 36; ++c) {
            const QwtSeriesData<QPointF>& data = *plot->curve(c)->data();
            const ScopeCurveSketch s = scopeCurveSketch(data, xMap, yMap, 0, int(data.size()) - 1);
            benchmark::DoNotOptimize(s.spans.constData());
        }
    }
    state.SetLabel(sketch ? "feed + sketch" : "feed");
}

// One mouse move over 36 curves read from a snapshot.
void BM_SnapshotTrackerMove(benchmark::State& state)
{
    ScopeSampleStore& store = filledStore(int(state.range(0)));
    auto plot = sizedPlot();
    plot->setXAxis(0, double(state.range(0)), double(state.range(0)) / 10);
    feedSnapshot(*plot, store.snapshot());
    plot->replot();
    plot->updateAxes();
    const QSize size = plot->canvas()->size();
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> px(0, size.width() - 1), py(0, size.height() - 1);
    for (auto _ : state) {
        plot->tracker()->calcClosestPoint(QPoint(px(rng), py(rng)));
        benchmark::DoNotOptimize(plot->tracker()->closestPoint().index);
    }
    state.SetItemsProcessed(state.iterations() * 36 * state.range(0));
}

BENCHMARK(BM_StoreSnapshot)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreCopyOut)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotRedraw)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotRedrawLive)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotRedrawPlainQwt)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotFeedParts)->ArgsProduct({{10000, 1000000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotTrackerMove)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandOver36Curves)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawGridOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw36Curves)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw36CurvesPlainQwt)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackerMove)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrackerMoveFullScan)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropDebug);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
