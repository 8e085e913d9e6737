// Measurements on recorded curves, without widgets: statistics of a stretch
// of samples, the amplitude spectrum of a curve, and the text of the
// measuring readout. The scope page shows them; the recorder prints the
// statistics at the end of a recording.
#pragma once

#include "scopesamplestore.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstddef>
#include <limits>
#include <vector>

// ---- statistics ----------------------------------------------------------

// Samples, min, max, mean, RMS and standard deviation of finite values;
// NaN and infinities are counted apart and never enter a figure. Mean and
// variance are merged from partial sums (Chan's pairwise update), so a
// long stretch with a large offset keeps its small ripple.
struct ScopeStatistics
{
    std::size_t samples = 0;   // finite samples
    std::size_t nonFinite = 0; // left out
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    double mean = 0.0;
    double m2 = 0.0; // sum of squared deviations from the mean

    bool empty() const { return samples == 0; }
    double peakToPeak() const { return empty() ? 0.0 : max - min; }
    // Population standard deviation (the spread of the samples themselves).
    double stdDev() const;
    double rms() const;

    // Adds one value (finite or not).
    void add(double value);
    // Adds the figures of another stretch.
    void merge(const ScopeStatistics& other);
};

// Values kept in chunks of ScopeChunk::kSize as the store and the plot's
// series hold them: value i is chunks[(head + i) / kSize][(head + i) % kSize]
// minus offset. Summaries (one per chunk, or none) give min and max of
// whole blocks without reading their values.
struct ScopeChunkedValues
{
    const double* const* chunks = nullptr;
    const ScopeChunkSummary* const* summaries = nullptr; // nullptr: none
    std::size_t head = 0;
    std::size_t size = 0;
    double offset = 0.0;

    double at(std::size_t i) const
    {
        const std::size_t pos = head + i;
        return chunks[pos / ScopeChunk::kSize][pos % ScopeChunk::kSize] - offset;
    }
};

namespace scopeanalysis {
// Statistics of values first..last (inclusive, first <= last < size).
ScopeStatistics statistics(const ScopeChunkedValues& values, std::size_t first, std::size_t last);
// Statistics of a plain array.
ScopeStatistics statistics(const double* values, std::size_t n);
} // namespace scopeanalysis

// Index range [first, last] of the samples whose stamp lies in t1..t2
// (either order) on stamps that never decrease; first > last when none.
struct ScopeIndexRange
{
    std::size_t first = 1;
    std::size_t last = 0;
    bool empty() const { return first > last; }
};
namespace scopeanalysis {
ScopeIndexRange indexRange(const ScopeChunkedValues& times, double t1, double t2);
// Index of the sample whose stamp is nearest to t (ties: the earlier one);
// -1 without samples. Stamps never decrease.
long nearestIndex(const ScopeChunkedValues& times, double t);
} // namespace scopeanalysis

// ---- spectrum ------------------------------------------------------------

struct ScopeSpectrumPeak
{
    double frequency = 0.0; // Hz
    double amplitude = 0.0; // in the curve's unit
};

struct ScopeSpectrum
{
    // Empty with `error` set when no spectrum could be made.
    QString error;
    // A remark the user must see with the result (resampled stamps, left-out
    // samples); empty when there is none.
    QString note;
    std::size_t samples = 0;    // samples that went in
    double sampleRate = 0.0;    // Hz
    double binWidth = 0.0;      // Hz
    QVector<double> frequency;  // Hz, 0 .. sampleRate / 2
    QVector<double> amplitude;  // single-sided: a sine of amplitude A peaks at A
    QVector<ScopeSpectrumPeak> peaks; // the largest local maxima above 0 Hz, largest first

    bool ok() const { return error.isEmpty(); }
};

// Fewer samples than this give no spectrum.
constexpr std::size_t kScopeSpectrumMinSamples = 16;
// Stamps whose steps stay within this share of the mean step count as even.
constexpr double kScopeEvenStampTolerance = 0.01;
// Peaks listed.
constexpr int kScopeSpectrumPeaks = 5;

namespace scopeanalysis {
// Amplitude spectrum of values over stamps (milliseconds; n of each, stamps
// never decreasing). Hann window; zero-padded to the next size the FFT does
// fast. Non-finite samples are left out. The usual step is the mean of the
// steps up to 1.5 times the median one. Stamps not evenly spaced (a step
// further than kScopeEvenStampTolerance from the usual one, as where rows
// were lost or samples left out) are resampled linearly onto even steps of
// the usual length, and `note` says so; a range whose gaps would need more
// than four times its samples' count of points is refused.
ScopeSpectrum spectrum(const double* stamps, const double* values, std::size_t n);
// Amplitude in decibels relative to 1 unit, floored at -300 dB.
double decibels(double amplitude);
} // namespace scopeanalysis

// ---- readout -------------------------------------------------------------

// One curve of the readout.
struct ScopeReadoutCurve
{
    QString title;
    QString unit;
    QString colour; // "#rrggbb"
    bool hasA = false, hasB = false;
    double atA = 0.0; // value of the sample nearest to A (and B)
    double atB = 0.0;
    ScopeStatistics stats;
};

struct ScopeReadout
{
    bool cursors = false; // false: the statistics are over the visible range
    double tA = 0.0, tB = 0.0; // ms
    double rangeFrom = 0.0, rangeTo = 0.0; // the statistics' range, ms
    bool statsReady = true;
    QVector<ScopeReadoutCurve> curves;
};

namespace scopeanalysis {
// The readout as tab-separated text: one heading line per block, one row per
// curve; numbers written with "." whatever the locale. Texts go through
// QCoreApplication::translate in context "ScopeReadout".
QString readoutText(const ScopeReadout& readout);
// One row per channel with the statistics' heading first: title, unit,
// samples, min, max, p-p, mean, RMS, std dev, left-out samples.
QString statisticsHeading();
QString statisticsRow(const QString& title, const QString& unit, const ScopeStatistics& stats);
// A number for the readout: 6 significant digits, "." as decimal point.
QString number(double value);
// Why a stretch has no figures, or empty when it has.
QString statisticsProblem(const ScopeStatistics& stats);
} // namespace scopeanalysis
