// Figures for measuring on the scope plot, at the page's largest window (36
// curves of 1,000,000 samples, read from a sample store's snapshot as the
// live page reads them): one arrow-key step of a cursor with the readout's
// values, the statistics of all 36 curves over the whole window, and the
// spectrum of one curve of 1,000,000 samples.
#include "qwtscope.h"
#include "scopeanalysis.h"
#include "scopecurvedata.h"
#include "scopecursors.h"
#include "scopereadout.h"
#include "scopesamplestore.h"
#include "scope_bench_data.h"

#include "VX_Prod.h"

#include <qwt_plot_canvas.h>

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kRows = 1000000;

void dropDebug(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qPrintable(msg));
}

ScopeSampleStore& store()
{
    static std::unique_ptr<ScopeSampleStore> s = scopebench::filledStore(kRows);
    return *s;
}

// The page's plot fed from a snapshot, as feedPlot does it.
std::unique_ptr<QwtScope> fedPlot()
{
    auto plot = std::make_unique<QwtScope>();
    plot->resize(1100, 500);
    plot->show();
    QApplication::processEvents();
    const ScopeSampleStore::Snapshot snap = store().snapshot();
    const ScopeSeries x(snap.times, ScopeSeries(snap.times).at(0));
    scopebench::setUpCurves(*plot, QStringLiteral("A"));
    for (int c = 0; c < 36; ++c)
        plot->setCurveSeries(c, x, ScopeSeries(snap.values[c]), snap.sortedTimes);
    plot->setXAxis(0, kRows, kRows / 10);
    plot->replot();
    QApplication::processEvents();
    return plot;
}

// One arrow-key step of cursor B with the readout's times and 36 values at
// A and B (the statistics follow on a pool thread and are measured below).
void BM_CursorStepReadout(benchmark::State& state)
{
    auto plot = fedPlot();
    ScopeCursors* cursors = plot->cursors();
    ScopeReadoutPanel readout(plot.get(), cursors);
    readout.show();
    cursors->setOn(true);
    cursors->setPosition(ScopeCursors::A, 1000.0);
    cursors->setPosition(ScopeCursors::B, 500000.0);
    cursors->setActive(ScopeCursors::B);
    QApplication::processEvents();
    int direction = 1;
    for (auto _ : state) {
        if (!cursors->step(direction))
            direction = -direction;
        benchmark::DoNotOptimize(readout.readout().curves.size());
    }
    state.counters["curves"] = double(readout.readout().curves.size());
}
BENCHMARK(BM_CursorStepReadout)->Unit(benchmark::kMicrosecond);

// Samples, min, max, p-p, mean, RMS and std dev of 36 curves over the whole
// window of 1,000,000 samples each.
void BM_Statistics36Curves(benchmark::State& state)
{
    const ScopeSampleStore::Snapshot snap = store().snapshot();
    std::vector<ScopeSeries> ys;
    for (int c = 0; c < 36; ++c)
        ys.emplace_back(snap.values[c]);
    for (auto _ : state) {
        double sum = 0.0;
        for (const ScopeSeries& y : ys)
            sum += scopeanalysis::statistics(y.chunked(), 0, y.size() - 1).stdDev();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 36 * kRows);
}
BENCHMARK(BM_Statistics36Curves)->Unit(benchmark::kMillisecond);

// Spectrum (Hann window, FFT, amplitudes, five peaks) of 1,000,000 samples.
void BM_Spectrum1M(benchmark::State& state)
{
    const ScopeSampleStore& s = store();
    std::vector<double> t(kRows), v(kRows);
    s.times().copyTo(t.data());
    s.slot(3).copyTo(v.data());
    for (auto _ : state) {
        const ScopeSpectrum spectrum = scopeanalysis::spectrum(t.data(), v.data(), t.size());
        benchmark::DoNotOptimize(spectrum.peaks.size());
    }
}
BENCHMARK(BM_Spectrum1M)->Unit(benchmark::kMillisecond);

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
