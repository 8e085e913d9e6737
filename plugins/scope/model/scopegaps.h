// Rows missing at the controller's own cycle, found from the gaps in the
// time stamps of the rows as they arrive. The scope page and the recorder
// both feed it, so both count loss by the same rule. Widget-free and not
// locked: its owner keeps it on one thread.
//
// The cycle is the shortest step seen between two consecutive stamps. A step
// of more than 1.5 cycles is one gap of (step / cycle, rounded) - 1 rows. A
// stamp that does not move on (a controller that restarted) starts the
// count again from there; the totals stay.
#pragma once

#include <cstdint>
#include <limits>

class ScopeGapCounter
{
public:
    // The next row's time stamp.
    void add(double time);
    // Counts the rows missing between the last stamp and `time`, where the
    // recording ends without a row of its own.
    void countUpTo(double time);

    std::int64_t gaps() const { return m_gaps; }
    std::int64_t missingRows() const { return m_missing; }
    // The controller's cycle as far as seen; +inf before two rows.
    double cycle() const { return m_cycle; }

private:
    void step(double to);

    double m_last = std::numeric_limits<double>::quiet_NaN();
    double m_cycle = std::numeric_limits<double>::infinity();
    std::int64_t m_gaps = 0;
    std::int64_t m_missing = 0;
};
