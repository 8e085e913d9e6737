#include "scopegaps.h"

#include <cmath>

void ScopeGapCounter::add(double time)
{
    if (!std::isfinite(time))
        return;
    const double step = time - m_last;
    if (!(step > 0.0)) {
        m_last = time; // the first row, or a controller that started again
        return;
    }
    if (step < m_cycle)
        m_cycle = step;
    this->step(time);
    m_last = time;
}

void ScopeGapCounter::countUpTo(double time)
{
    if (std::isfinite(time) && time > m_last)
        step(time);
}

void ScopeGapCounter::step(double to)
{
    const double step = to - m_last;
    if (!std::isfinite(m_cycle) || !(step > 1.5 * m_cycle))
        return;
    ++m_gaps;
    m_missing += std::llround(step / m_cycle) - 1;
}
