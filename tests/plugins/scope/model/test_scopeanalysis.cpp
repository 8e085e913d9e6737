// Measurements without widgets: statistics, spectrum, readout text.
#include "scopeanalysis.h"
#include "scopesamplestore.h"

#include "VX_Prod.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

struct Brute
{
    std::size_t n = 0, bad = 0;
    double min = std::numeric_limits<double>::infinity(), max = -min;
    long double sum = 0, sum2 = 0;
};

Brute brute(const std::vector<double>& v, std::size_t first, std::size_t last)
{
    Brute b;
    for (std::size_t i = first; i <= last; ++i) {
        if (!std::isfinite(v[i])) {
            ++b.bad;
            continue;
        }
        ++b.n;
        b.min = std::min(b.min, v[i]);
        b.max = std::max(b.max, v[i]);
        b.sum += v[i];
    }
    const long double mean = b.n ? b.sum / b.n : 0;
    for (std::size_t i = first; i <= last; ++i)
        if (std::isfinite(v[i]))
            b.sum2 += (v[i] - mean) * (v[i] - mean);
    return b;
}

} // namespace

// The store's chunks (with summaries), a sliding head and random ranges:
// every figure matches a plain long-double pass over the same values.
TEST(ScopeStatistics, MatchesABruteForcePassOnRandomDataAndRanges)
{
    std::mt19937_64 rng(1234);
    for (int round = 0; round < 12; ++round) {
        ScopeSampleColumn column;
        std::vector<double> values;
        const std::size_t n = round == 5 ? 20000 : 1 + rng() % 20000;
        const double offset = (round % 3 == 0) ? 1e6 : 0.0; // a large offset with a small ripple
        std::normal_distribution<double> noise(offset, round % 2 ? 0.001 : 50.0);
        for (std::size_t i = 0; i < n + 700; ++i) {
            double x = noise(rng);
            const auto pick = rng() % 200;
            if (pick == 0)
                x = std::numeric_limits<double>::quiet_NaN();
            else if (pick == 1)
                x = (rng() % 2 ? 1 : -1) * std::numeric_limits<double>::infinity();
            // A long stretch of non-numbers: whole chunks without a finite
            // value.
            if (round == 5 && i >= 3000 && i < 13000)
                x = std::numeric_limits<double>::quiet_NaN();
            column.push_back(x);
            values.push_back(x);
        }
        for (int k = 0; k < 700; ++k) { // head no longer at a chunk start
            column.pop_front();
            values.erase(values.begin());
        }
        const ScopeColumnSnapshot snap = column.snapshot();
        std::vector<const double*> chunks;
        std::vector<const ScopeChunkSummary*> summaries;
        for (const auto& c : snap.chunks) {
            chunks.push_back(c->values);
            summaries.push_back(&c->summary);
        }
        ScopeChunkedValues view;
        view.chunks = chunks.data();
        view.summaries = round % 4 == 3 ? nullptr : summaries.data();
        view.head = snap.head;
        view.size = snap.size;
        for (int r = 0; r < 20; ++r) {
            std::size_t a = rng() % n, b = rng() % n;
            if (a > b)
                std::swap(a, b);
            const ScopeStatistics s = scopeanalysis::statistics(view, a, b);
            const Brute e = brute(values, a, b);
            SCOPED_TRACE(testing::Message() << "round " << round << " range " << a << ".." << b);
            ASSERT_EQ(s.samples, e.n);
            ASSERT_EQ(s.nonFinite, e.bad);
            if (e.n == 0)
                continue;
            const double spread = double(std::sqrt(e.sum2 / e.n));
            const double mean = double(e.sum / e.n);
            EXPECT_EQ(s.min, e.min);
            EXPECT_EQ(s.max, e.max);
            EXPECT_NEAR(s.mean, mean, 1e-9 * (std::abs(mean) + spread) + 1e-12);
            EXPECT_NEAR(s.stdDev(), spread, 1e-6 * spread + 1e-12);
            EXPECT_NEAR(s.rms(), std::sqrt(mean * mean + spread * spread), 1e-9 * (std::abs(mean) + spread) + 1e-12);
            EXPECT_EQ(s.peakToPeak(), e.max - e.min);
        }
        // The streaming form (the recorder's) gives the same figures.
        ScopeStatistics streamed;
        for (double x : values)
            streamed.add(x);
        const ScopeStatistics whole = scopeanalysis::statistics(values.data(), values.size());
        EXPECT_EQ(streamed.samples, whole.samples);
        EXPECT_EQ(streamed.nonFinite, whole.nonFinite);
        if (whole.samples > 0) {
            EXPECT_EQ(streamed.min, whole.min);
            EXPECT_EQ(streamed.max, whole.max);
            EXPECT_NEAR(streamed.stdDev(), whole.stdDev(), 1e-6 * whole.stdDev() + 1e-12);
        }
    }
}

TEST(ScopeStatistics, IndexRangesAndNearestSamples)
{
    const std::vector<double> t = {0, 1, 2, 2, 3, 10};
    const std::vector<const double*> chunks = {t.data()};
    ScopeChunkedValues times;
    times.chunks = chunks.data();
    times.size = t.size();
    ScopeIndexRange r = scopeanalysis::indexRange(times, 2.5, 1.0); // either order
    EXPECT_EQ(r.first, 1u);
    EXPECT_EQ(r.last, 3u);
    EXPECT_TRUE(scopeanalysis::indexRange(times, 4, 9).empty());
    EXPECT_TRUE(scopeanalysis::indexRange(times, std::nan(""), 9).empty());
    r = scopeanalysis::indexRange(times, 2, 2); // A = B on a sample: that sample
    EXPECT_EQ(r.last - r.first, 1u);
    EXPECT_EQ(scopeanalysis::nearestIndex(times, -5), 0);
    EXPECT_EQ(scopeanalysis::nearestIndex(times, 0.5), 0); // tie: the earlier one
    EXPECT_EQ(scopeanalysis::nearestIndex(times, 6.6), 5);
    EXPECT_EQ(scopeanalysis::nearestIndex(times, 99), 5);
    times.size = 0;
    EXPECT_EQ(scopeanalysis::nearestIndex(times, 1), -1);
}

// A sine of known amplitude and frequency, also under a DC offset, with
// jittered stamps (resampled, and said so) and with non-numbers in it.
TEST(ScopeSpectrum, FindsTheFrequencyAndAmplitudeOfASine)
{
    struct Case
    {
        std::size_t n;
        double stepMs, hz, amplitude, dc;
        bool jitter, holes;
    };
    for (const Case& c : {Case{4096, 1.0, 125.0, 2.5, 0.0, false, false},
                          Case{1000, 1.0, 50.0, 0.3, 100.0, false, false},
                          Case{5000, 0.5, 73.0, 4.0, -7.0, true, true}}) {
        std::vector<double> t(c.n), v(c.n);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> shake(-0.2, 0.2);
        for (std::size_t i = 0; i < c.n; ++i) {
            t[i] = double(i) * c.stepMs + (c.jitter && i > 0 && i + 1 < c.n ? shake(rng) * c.stepMs : 0.0);
            v[i] = c.dc + c.amplitude * std::sin(2 * M_PI * c.hz * t[i] / 1000.0);
            if (c.holes && i % 97 == 5)
                v[i] = std::numeric_limits<double>::quiet_NaN();
        }
        const ScopeSpectrum s = scopeanalysis::spectrum(t.data(), v.data(), c.n);
        SCOPED_TRACE(testing::Message() << c.hz << " Hz");
        ASSERT_TRUE(s.ok()) << s.error.toStdString();
        EXPECT_NEAR(s.sampleRate, 1000.0 / c.stepMs, 1e-3 * 1000.0 / c.stepMs);
        ASSERT_FALSE(s.peaks.isEmpty());
        EXPECT_LE(s.peaks.size(), kScopeSpectrumPeaks);
        EXPECT_NEAR(s.peaks[0].frequency, c.hz, s.binWidth / 2);
        // Off a bin's centre the Hann window reads up to 15 % low.
        EXPECT_LE(s.peaks[0].amplitude, c.amplitude * 1.01);
        EXPECT_GE(s.peaks[0].amplitude, c.amplitude * 0.84);
        EXPECT_NEAR(s.amplitude[0], std::abs(c.dc), 0.02 * c.amplitude + 1e-9);
        EXPECT_EQ(s.note.isEmpty(), !c.jitter && !c.holes);
        for (int i = 1; i < s.peaks.size(); ++i)
            EXPECT_GE(s.peaks[i - 1].amplitude, s.peaks[i].amplitude);
    }
    // A sine on a bin's centre reads its amplitude.
    std::vector<double> t(1024), v(1024);
    for (std::size_t i = 0; i < t.size(); ++i) {
        t[i] = double(i);
        v[i] = 3.0 * std::cos(2 * M_PI * 64.0 * double(i) / 1024.0);
    }
    const ScopeSpectrum s = scopeanalysis::spectrum(t.data(), v.data(), t.size());
    ASSERT_TRUE(s.ok());
    EXPECT_NEAR(s.peaks[0].frequency, 62.5, 1e-6);
    EXPECT_NEAR(s.peaks[0].amplitude, 3.0, 0.03);
}

TEST(ScopeSpectrum, BadInputGivesATextNotASpectrum)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> t(15), v(15, 1.0);
    for (std::size_t i = 0; i < t.size(); ++i)
        t[i] = double(i);
    EXPECT_FALSE(scopeanalysis::spectrum(t.data(), v.data(), t.size()).ok()); // fewer than 16
    EXPECT_FALSE(scopeanalysis::spectrum(nullptr, nullptr, 0).ok());
    t.resize(40);
    v.assign(40, nan);
    for (std::size_t i = 0; i < t.size(); ++i)
        t[i] = double(i);
    EXPECT_FALSE(scopeanalysis::spectrum(t.data(), v.data(), t.size()).ok()); // nothing finite
    v.assign(40, 1.0);
    std::vector<double> same(40, 5.0);
    EXPECT_FALSE(scopeanalysis::spectrum(same.data(), v.data(), v.size()).ok()); // one instant
    t[20] = 3.0;
    const ScopeSpectrum back = scopeanalysis::spectrum(t.data(), v.data(), t.size());
    EXPECT_FALSE(back.ok());
    EXPECT_FALSE(back.error.isEmpty());
}

TEST(ScopeReadoutText, IsTabSeparatedWithTheCursorsValuesAndStatistics)
{
    ScopeReadout r;
    r.cursors = true;
    r.tA = 10;
    r.tB = 30;
    r.rangeFrom = 10;
    r.rangeTo = 30;
    ScopeReadoutCurve c;
    c.title = QStringLiteral("J1 Position");
    c.unit = QStringLiteral("deg");
    c.hasA = c.hasB = true;
    c.atA = 1.5;
    c.atB = 4;
    for (double x : {1.0, 2.0, 3.0, std::nan("")})
        c.stats.add(x);
    r.curves << c;
    const QStringList lines = scopeanalysis::readoutText(r).split(QLatin1Char('\n'));
    EXPECT_EQ(lines[1], QStringLiteral("10\t30\t20\t50"));
    EXPECT_TRUE(lines.contains(QStringLiteral("J1 Position\tdeg\t1.5\t4\t2.5")));
    EXPECT_TRUE(lines.contains(QStringLiteral("J1 Position\tdeg\t3\t1\t3\t2\t2\t2.16025\t0.816497\t1")));
    // No finite sample: the figures stay empty, the count of left-out ones stays.
    ScopeStatistics none;
    none.add(std::nan(""));
    EXPECT_EQ(scopeanalysis::statisticsRow(QStringLiteral("x"), QString(), none), QStringLiteral("x\t\t0\t\t\t\t\t\t\t1"));
    EXPECT_FALSE(scopeanalysis::statisticsProblem(none).isEmpty());
    EXPECT_FALSE(scopeanalysis::statisticsProblem(ScopeStatistics()).isEmpty());
}
