#include "scopeanalysis.h"

#include <kiss_fftr.h>

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

// ---- statistics ----------------------------------------------------------

double ScopeStatistics::stdDev() const
{
    return samples == 0 ? 0.0 : std::sqrt(std::max(0.0, m2) / double(samples));
}

double ScopeStatistics::rms() const
{
    // Mean square = variance + mean²: both parts are sums of non-negative
    // terms, so nothing cancels.
    if (samples == 0)
        return 0.0;
    return std::sqrt(std::max(0.0, m2) / double(samples) + mean * mean);
}

void ScopeStatistics::add(double value)
{
    if (!(value - value == 0.0)) {
        ++nonFinite;
        return;
    }
    ++samples;
    min = value < min ? value : min;
    max = value > max ? value : max;
    const double delta = value - mean;
    mean += delta / double(samples);
    m2 += delta * (value - mean);
}

void ScopeStatistics::merge(const ScopeStatistics& other)
{
    nonFinite += other.nonFinite;
    if (other.samples == 0)
        return;
    if (samples == 0) {
        const std::size_t left = nonFinite;
        *this = other;
        nonFinite = left;
        return;
    }
    const double na = double(samples), nb = double(other.samples), n = na + nb;
    const double delta = other.mean - mean;
    mean += delta * nb / n;
    m2 += other.m2 + delta * delta * na * nb / n;
    samples += other.samples;
    min = std::min(min, other.min);
    max = std::max(max, other.max);
}

namespace {

// Sums of one stretch of at most a chunk's values, taken about a shift k
// that is one of them: the deviations stay small, so the squares keep
// their digits. Two values at a time in vector registers, with four
// independent sums; a value that is not finite masks its deviation to 0
// and does not count.
using ScopeV2d = double __attribute__((vector_size(16)));
using ScopeV2i = long long __attribute__((vector_size(16)));

void addStretch(const double* v, std::size_t n, double k, ScopeStatistics& total)
{
    const ScopeV2d kv = {k, k};
    ScopeV2d s1a = {0, 0}, s1b = {0, 0}, s2a = {0, 0}, s2b = {0, 0};
    ScopeV2i ca = {0, 0}, cb = {0, 0};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ScopeV2d x0, x1;
        std::memcpy(&x0, v + i, sizeof x0);
        std::memcpy(&x1, v + i + 2, sizeof x1);
        const ScopeV2i m0 = (x0 - x0) == 0.0; // -1 where finite
        const ScopeV2i m1 = (x1 - x1) == 0.0;
        const ScopeV2d d0 = (ScopeV2d)((ScopeV2i)(x0 - kv) & m0);
        const ScopeV2d d1 = (ScopeV2d)((ScopeV2i)(x1 - kv) & m1);
        s1a += d0;
        s1b += d1;
        s2a += d0 * d0;
        s2b += d1 * d1;
        ca -= m0;
        cb -= m1;
    }
    double sum1 = (s1a[0] + s1b[0]) + (s1a[1] + s1b[1]);
    double sum2 = (s2a[0] + s2b[0]) + (s2a[1] + s2b[1]);
    std::size_t count = std::size_t(ca[0] + ca[1] + cb[0] + cb[1]);
    for (; i < n; ++i) {
        const double x = v[i];
        if (x - x == 0.0) {
            const double d = x - k;
            sum1 += d;
            sum2 += d * d;
            ++count;
        }
    }
    ScopeStatistics part;
    part.nonFinite = n - count;
    if (count > 0) {
        part.samples = count;
        part.mean = k + sum1 / double(count);
        part.m2 = std::max(0.0, sum2 - sum1 * sum1 / double(count));
        part.min = part.max = k; // the range comes from the summaries
    }
    total.merge(part);
}

} // namespace

ScopeStatistics scopeanalysis::statistics(const ScopeChunkedValues& values, std::size_t first, std::size_t last)
{
    ScopeStatistics total;
    if (!values.chunks || values.size == 0 || first > last || last >= values.size)
        return total;

    constexpr std::size_t chunkSize = ScopeChunk::kSize;
    // Positions in the chunks, half-open. A whole chunk is one stretch,
    // shifted by its finite minimum; a part of one is shifted by its first
    // finite value.
    const std::size_t begin = values.head + first, end = values.head + last + 1;
    for (std::size_t pos = begin; pos < end;) {
        const std::size_t c = pos / chunkSize;
        const std::size_t offset = pos % chunkSize;
        const std::size_t stop = std::min(end - c * chunkSize, chunkSize);
        const double* v = values.chunks[c] + offset;
        const std::size_t n = stop - offset;
        const ScopeChunkSummary* summary = values.summaries ? values.summaries[c] : nullptr;
        double k = 0.0;
        bool haveShift = false;
        if (summary && n == chunkSize) {
            if (summary->all.min > summary->all.max) { // nothing finite in the chunk
                total.nonFinite += n;
                pos += n;
                continue;
            }
            k = summary->all.min;
            haveShift = true;
        }
        for (std::size_t i = 0; i < n && !haveShift; ++i) {
            if (v[i] - v[i] == 0.0) {
                k = v[i];
                haveShift = true;
            }
        }
        if (haveShift)
            addStretch(v, n, k, total);
        else
            total.nonFinite += n;
        pos += n;
    }

    if (total.samples > 0) {
        // Minimum and maximum from the summaries: whole blocks are a few
        // entries, only the ends are read value by value.
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        auto chunkAt = [&values](std::size_t c) {
            return std::make_pair(values.chunks[c], values.summaries ? values.summaries[c] : nullptr);
        };
        scopeChunkedRange(begin, end - 1, chunkAt, lo, hi);
        total.min = lo - values.offset;
        total.max = hi - values.offset;
        total.mean -= values.offset;
    }
    return total;
}

ScopeStatistics scopeanalysis::statistics(const double* values, std::size_t n)
{
    if (!values || n == 0)
        return ScopeStatistics();
    std::vector<const double*> chunks((n + ScopeChunk::kSize - 1) / ScopeChunk::kSize);
    for (std::size_t c = 0; c < chunks.size(); ++c)
        chunks[c] = values + c * ScopeChunk::kSize;
    ScopeChunkedValues view;
    view.chunks = chunks.data();
    view.size = n;
    return scopeanalysis::statistics(view, 0, n - 1);
}

namespace {

// First index whose stamp is not below t (or not above, for upper).
std::size_t lowerBound(const ScopeChunkedValues& times, double t)
{
    std::size_t lo = 0, hi = times.size;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (times.at(mid) < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::size_t upperBound(const ScopeChunkedValues& times, double t)
{
    std::size_t lo = 0, hi = times.size;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (times.at(mid) <= t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

ScopeIndexRange scopeanalysis::indexRange(const ScopeChunkedValues& times, double t1, double t2)
{
    ScopeIndexRange range;
    if (times.size == 0 || !times.chunks || std::isnan(t1) || std::isnan(t2))
        return range;
    if (t2 < t1)
        std::swap(t1, t2);
    const std::size_t first = lowerBound(times, t1);
    const std::size_t end = upperBound(times, t2);
    if (first < end) {
        range.first = first;
        range.last = end - 1;
    }
    return range;
}

long scopeanalysis::nearestIndex(const ScopeChunkedValues& times, double t)
{
    if (times.size == 0 || !times.chunks || std::isnan(t))
        return -1;
    const std::size_t i = lowerBound(times, t);
    if (i == 0)
        return 0;
    if (i >= times.size)
        return long(times.size - 1);
    // The earlier sample wins a tie, as the tracker's search does.
    return t - times.at(i - 1) <= times.at(i) - t ? long(i - 1) : long(i);
}

// ---- spectrum ------------------------------------------------------------

namespace {

struct KissConfig
{
    explicit KissConfig(int n) : cfg(kiss_fftr_alloc(n, 0, nullptr, nullptr)) {}
    ~KissConfig() { kiss_fftr_free(cfg); }
    KissConfig(const KissConfig&) = delete;
    KissConfig& operator=(const KissConfig&) = delete;
    kiss_fftr_cfg cfg;
};

} // namespace

double scopeanalysis::decibels(double amplitude)
{
    return amplitude > 1e-15 ? 20.0 * std::log10(amplitude) : -300.0;
}

ScopeSpectrum scopeanalysis::spectrum(const double* stamps, const double* values, std::size_t n)
{
    ScopeSpectrum result;
    // The finite samples, in order; a stamp that goes back is refused. They
    // are read in place when every sample is finite, as they usually are: a
    // copy of a million samples is sixteen megabytes of fresh memory.
    std::size_t leftOut = 0;
    for (std::size_t i = 0; i < n; ++i)
        leftOut += !std::isfinite(stamps[i]) || !std::isfinite(values[i]);
    std::vector<double> finiteT, finiteV;
    const double* t = stamps;
    const double* v = values;
    if (leftOut > 0) {
        finiteT.reserve(n - leftOut);
        finiteV.reserve(n - leftOut);
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isfinite(stamps[i]) && std::isfinite(values[i])) {
                finiteT.push_back(stamps[i]);
                finiteV.push_back(values[i]);
            }
        }
        t = finiteT.data();
        v = finiteV.data();
    }
    const std::size_t m = n - leftOut;
    for (std::size_t i = 1; i < m; ++i) {
        if (t[i] < t[i - 1]) {
            result.error = QCoreApplication::translate("ScopeSpectrum", "The time stamps go back in time: no spectrum.");
            return result;
        }
    }
    if (m < kScopeSpectrumMinSamples) {
        result.error = QCoreApplication::translate("ScopeSpectrum", "%1 samples: a spectrum needs at least %2.")
                           .arg(m)
                           .arg(kScopeSpectrumMinSamples);
        if (leftOut > 0)
            result.error += QLatin1Char(' ') + QCoreApplication::translate("ScopeSpectrum", "%1 samples are not numbers.").arg(leftOut);
        return result;
    }
    const double span = t[m - 1] - t[0];
    if (!(span > 0.0)) {
        result.error = QCoreApplication::translate("ScopeSpectrum", "All samples have the same time stamp: no spectrum.");
        return result;
    }
    if (m > std::size_t(std::numeric_limits<int>::max() / 4)) {
        result.error = QCoreApplication::translate("ScopeSpectrum", "Too many samples for a spectrum.");
        return result;
    }
    // The usual step is the median one: lost rows and left-out samples
    // make a few long steps but do not change the sampling rate.
    std::vector<double> steps(m - 1);
    for (std::size_t i = 1; i < m; ++i)
        steps[i - 1] = t[i] - t[i - 1];
    std::nth_element(steps.begin(), steps.begin() + long(steps.size() / 2), steps.end());
    double step = steps[steps.size() / 2];
    // Jittered stamps: the mean of the steps that are not gaps is the finer
    // estimate.
    double sum = 0.0;
    std::size_t usual = 0;
    for (double d : steps) {
        if (d <= 1.5 * step) {
            sum += d;
            ++usual;
        }
    }
    if (usual > 0 && sum > 0.0)
        step = sum / double(usual);
    if (!(step > 0.0))
        step = span / double(m - 1);
    const auto [shortest, longest] = std::minmax_element(steps.begin(), steps.end());
    const double smallest = *shortest, largest = *longest;
    const bool even = largest - step <= kScopeEvenStampTolerance * step
                      && step - smallest <= kScopeEvenStampTolerance * step;
    QStringList notes;
    std::size_t resampled = 0;
    if (leftOut > 0)
        notes << QCoreApplication::translate("ScopeSpectrum", "%1 samples that are not numbers were left out.").arg(leftOut);
    if (!even) {
        // Linear interpolation onto even steps of the usual length over the
        // same time.
        const double points = std::floor(span / step) + 1.0;
        // Long gaps would need far more points than there are samples.
        if (points > 4.0 * double(m) + 16.0) {
            result.error = QCoreApplication::translate("ScopeSpectrum", "The time stamps have long gaps (up to %1 ms against a usual step of %2 ms): "
                                      "choose a range without them.")
                               .arg(scopeanalysis::number(largest), scopeanalysis::number(step));
            return result;
        }
        const std::size_t count = std::max<std::size_t>(2, std::size_t(points));
        std::vector<double> r(count);
        std::size_t j = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const double at = t[0] + step * double(i);
            while (j + 2 < m && t[j + 1] < at)
                ++j;
            const double t0 = t[j], t1 = t[j + 1];
            const double w = t1 > t0 ? std::clamp((at - t0) / (t1 - t0), 0.0, 1.0) : 0.0;
            r[i] = v[j] + (v[j + 1] - v[j]) * w;
        }
        finiteV.swap(r);
        v = finiteV.data();
        resampled = finiteV.size();
        notes << QCoreApplication::translate("ScopeSpectrum", "The time stamps are not evenly spaced (steps %1 to %2 ms): the curve was resampled "
                            "linearly to %3 even steps of %4 ms.")
                     .arg(scopeanalysis::number(smallest), scopeanalysis::number(largest))
                     .arg(resampled)
                     .arg(scopeanalysis::number(step));
    }
    result.note = notes.join(QLatin1Char(' '));

    const std::size_t m2 = resampled > 0 ? resampled : m;
    if (m2 < kScopeSpectrumMinSamples) {
        result.error = QCoreApplication::translate("ScopeSpectrum", "%1 samples: a spectrum needs at least %2.").arg(m2).arg(kScopeSpectrumMinSamples);
        return result;
    }
    // Hann window over the samples; the rest of the transform is zeros.
    int size = kiss_fftr_next_fast_size_real(int(m2));
    if (size % 2)
        ++size;
    std::vector<kiss_fft_scalar> in(std::size_t(size), 0.0f);
    double windowSum = 0.0;
    const double pi = 3.14159265358979323846;
    // The mean is taken out before the window and put back into bin 0, so
    // a large offset does not drown small ripples in float precision.
    double mean = 0.0;
    for (std::size_t i = 0; i < m2; ++i)
        mean += v[i];
    mean /= double(m2);
    for (std::size_t i = 0; i < m2; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * pi * double(i) / double(m2 - 1));
        windowSum += w;
        in[i] = kiss_fft_scalar((v[i] - mean) * w);
    }
    std::vector<kiss_fft_cpx> out(std::size_t(size / 2 + 1));
    {
        KissConfig config(size);
        if (!config.cfg) {
            result.error = QCoreApplication::translate("ScopeSpectrum", "Not enough memory for the spectrum.");
            return result;
        }
        kiss_fftr(config.cfg, in.data(), out.data());
    }

    const std::size_t bins = out.size();
    result.samples = m2;
    result.sampleRate = 1000.0 / step;
    result.binWidth = result.sampleRate / double(size);
    result.frequency.resize(int(bins));
    result.amplitude.resize(int(bins));
    for (std::size_t k = 0; k < bins; ++k) {
        const double re = out[k].r, im = out[k].i;
        const bool edge = k == 0 || (k == bins - 1);
        // Single-sided: the energy of -f is folded onto f.
        const double scale = (edge ? 1.0 : 2.0) / windowSum;
        result.frequency[int(k)] = double(k) * result.binWidth;
        result.amplitude[int(k)] = std::sqrt(re * re + im * im) * scale;
    }
    result.amplitude[0] = std::abs(mean);

    // Local maxima above 0 Hz, largest first; the frequency is refined by a
    // parabola through the bin and its neighbours.
    std::vector<std::size_t> maxima;
    const QVector<double>& a = result.amplitude;
    for (std::size_t k = 1; k + 1 < bins; ++k) {
        if (a[int(k)] > a[int(k - 1)] && a[int(k)] >= a[int(k + 1)] && a[int(k)] > 0.0)
            maxima.push_back(k);
    }
    const std::size_t keep = std::min<std::size_t>(maxima.size(), kScopeSpectrumPeaks);
    std::partial_sort(maxima.begin(), maxima.begin() + long(keep), maxima.end(),
                      [&a](std::size_t l, std::size_t r) { return a[int(l)] > a[int(r)]; });
    for (std::size_t p = 0; p < keep; ++p) {
        const int k = int(maxima[p]);
        const double l = a[k - 1], c = a[k], r = a[k + 1];
        const double denom = l - 2.0 * c + r;
        const double shift = denom < 0.0 ? std::clamp(0.5 * (l - r) / denom, -0.5, 0.5) : 0.0;
        ScopeSpectrumPeak peak;
        peak.frequency = (double(k) + shift) * result.binWidth;
        peak.amplitude = c;
        result.peaks.append(peak);
    }
    return result;
}

// ---- readout -------------------------------------------------------------

QString scopeanalysis::number(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return QString::number(value, 'g', 6);
}

QString scopeanalysis::statisticsProblem(const ScopeStatistics& stats)
{
    if (stats.samples == 0 && stats.nonFinite == 0)
        return QCoreApplication::translate("ScopeReadout", "no samples in the range");
    if (stats.samples == 0)
        return QCoreApplication::translate("ScopeReadout", "no finite samples in the range");
    return QString();
}

QString scopeanalysis::statisticsHeading()
{
    return QStringList{QCoreApplication::translate("ScopeReadout", "curve"), QCoreApplication::translate("ScopeReadout", "unit"), QCoreApplication::translate("ScopeReadout", "samples"), QCoreApplication::translate("ScopeReadout", "min"),
                       QCoreApplication::translate("ScopeReadout", "max"), QCoreApplication::translate("ScopeReadout", "p-p"), QCoreApplication::translate("ScopeReadout", "mean"), QCoreApplication::translate("ScopeReadout", "RMS"),
                       QCoreApplication::translate("ScopeReadout", "std dev"), QCoreApplication::translate("ScopeReadout", "not numbers")}
        .join(QLatin1Char('\t'));
}

QString scopeanalysis::statisticsRow(const QString& title, const QString& unit, const ScopeStatistics& stats)
{
    QStringList cells{title, unit, QString::number(qulonglong(stats.samples))};
    if (stats.empty()) {
        for (int i = 0; i < 6; ++i)
            cells << QString();
    } else {
        cells << scopeanalysis::number(stats.min) << scopeanalysis::number(stats.max) << scopeanalysis::number(stats.peakToPeak())
              << scopeanalysis::number(stats.mean) << scopeanalysis::number(stats.rms()) << scopeanalysis::number(stats.stdDev());
    }
    cells << QString::number(qulonglong(stats.nonFinite));
    return cells.join(QLatin1Char('\t'));
}

QString scopeanalysis::readoutText(const ScopeReadout& readout)
{
    QStringList lines;
    const QChar tab = QLatin1Char('\t');
    if (readout.cursors) {
        const double dt = readout.tB - readout.tA;
        lines << QStringList{QCoreApplication::translate("ScopeReadout", "t(A) ms"), QCoreApplication::translate("ScopeReadout", "t(B) ms"), QCoreApplication::translate("ScopeReadout", "dt ms"), QCoreApplication::translate("ScopeReadout", "1/dt Hz")}
                     .join(tab);
        lines << QStringList{scopeanalysis::number(readout.tA), scopeanalysis::number(readout.tB), scopeanalysis::number(dt),
                             dt != 0.0 ? scopeanalysis::number(1000.0 / std::abs(dt)) : QString()}
                     .join(tab);
        lines << QString();
        lines << QStringList{QCoreApplication::translate("ScopeReadout", "curve"), QCoreApplication::translate("ScopeReadout", "unit"), QCoreApplication::translate("ScopeReadout", "at A"), QCoreApplication::translate("ScopeReadout", "at B"),
                             QCoreApplication::translate("ScopeReadout", "dY")}
                     .join(tab);
        for (const ScopeReadoutCurve& c : readout.curves) {
            lines << QStringList{c.title, c.unit, c.hasA ? scopeanalysis::number(c.atA) : QString(),
                                 c.hasB ? scopeanalysis::number(c.atB) : QString(),
                                 c.hasA && c.hasB ? scopeanalysis::number(c.atB - c.atA) : QString()}
                         .join(tab);
        }
        lines << QString();
    }
    if (readout.statsReady) {
        lines << (QCoreApplication::translate("ScopeReadout", "statistics from") + tab + scopeanalysis::number(readout.rangeFrom) + tab + QCoreApplication::translate("ScopeReadout", "to") + tab
                  + scopeanalysis::number(readout.rangeTo) + tab + QCoreApplication::translate("ScopeReadout", "ms"));
        lines << scopeanalysis::statisticsHeading();
        for (const ScopeReadoutCurve& c : readout.curves)
            lines << scopeanalysis::statisticsRow(c.title, c.unit, c.stats);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
