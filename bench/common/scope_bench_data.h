// The scope benchmarks' data: 36 channels of a slow sine with noise, each
// with its own frequency and offset, one row per millisecond; and the
// plot's 36 curves set up for them.
#pragma once

#include "VX_Prod.h"
#include "qwtscope.h"
#include "scopesamplestore.h"

#include <cmath>
#include <memory>
#include <random>

namespace scopebench {

constexpr int kCurves = 36;

class Signal
{
public:
    Signal(int rows, unsigned seed) : m_rows(rows), m_rng(seed) {}
    // Value of channel c at row i; rows are asked for in order.
    double operator()(int i, int c) { return 5.0 * std::sin(i * (c + 1) * 6.0 / m_rows) + m_noise(m_rng) + c * 0.1; }

private:
    int m_rows;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_noise{0.0, 0.3};
};

// Appends rows first..first + count - 1, row i stamped 5000 + i ms.
inline void appendRows(ScopeSampleStore& store, Signal& signal, int first, int count)
{
    _ST_ReadScopeData row{};
    for (int i = first; i < first + count; ++i) {
        row.time = 5000.0 + i;
        for (int c = 0; c < kCurves; ++c)
            row.values[c] = signal(i, c);
        store.appendRow(row);
    }
}

// A store holding rows rows of all 36 channels, stamped 5000, 5001, ... ms,
// with the signal that goes on from there.
inline std::unique_ptr<ScopeSampleStore> filledStore(int rows, Signal* signal = nullptr)
{
    auto store = std::make_unique<ScopeSampleStore>();
    ScopeSampleStore::SlotMask all;
    for (int k = 0; k < kCurves; ++k)
        all.set(k);
    store->reset(all);
    store->setSpan(rows - 1);
    Signal own(rows, 11);
    appendRows(*store, signal ? *signal : own, 0, rows);
    return store;
}

// Names the plot's 36 curves "channel N" with the given unit.
inline void setUpCurves(QwtScope& plot, const QString& unit = QString())
{
    for (int c = 0; c < kCurves; ++c) {
        _ST_ScopeAxisInfo info;
        info.nSubIndex = c;
        info.nCurve = c;
        info.nIndex = c + 1;
        info.strUnit = unit;
        plot.setCurveInfo(c, QStringLiteral("channel %1").arg(c), info);
    }
}

} // namespace scopebench
