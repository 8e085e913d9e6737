#include "scopesamplestore.h"

#include "VX_Prod.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void ScopeSampleColumn::push_back(double value)
{
    const std::size_t pos = m_head + m_size;
    if (pos / kChunkSize == m_chunks.size()) {
        if (m_spare)
            m_chunks.push_back(std::move(m_spare));
        else
            m_chunks.push_back(std::make_unique<double[]>(kChunkSize));
    }
    m_chunks[pos / kChunkSize][pos % kChunkSize] = value;
    ++m_size;
}

void ScopeSampleColumn::pop_front()
{
    if (m_size == 0)
        return;
    --m_size;
    if (++m_head == kChunkSize) {
        m_spare = std::move(m_chunks.front());
        m_chunks.pop_front();
        m_head = 0;
    }
    if (m_size == 0 && !m_chunks.empty()) {
        // Nothing left: start again at the beginning of the one chunk held.
        m_head = 0;
    }
}

void ScopeSampleColumn::clear()
{
    m_chunks.clear();
    m_spare.reset();
    m_head = 0;
    m_size = 0;
}

void ScopeSampleColumn::copyTo(double* out, double offset) const
{
    std::size_t left = m_size;
    std::size_t start = m_head;
    for (const auto& chunk : m_chunks) {
        if (left == 0)
            break;
        const std::size_t n = std::min(left, kChunkSize - start);
        const double* src = chunk.get() + start;
        if (offset == 0.0) {
            std::memcpy(out, src, n * sizeof(double));
        } else {
            for (std::size_t i = 0; i < n; ++i)
                out[i] = src[i] - offset;
        }
        out += n;
        left -= n;
        start = 0;
    }
}

void ScopeSampleStore::reset(const SlotMask& receiving)
{
    m_receiving = receiving;
    for (int k = kRowValues; k < kSlots; ++k)
        m_receiving.reset(k);
    clear();
}

void ScopeSampleStore::clear()
{
    m_time.clear();
    for (auto& column : m_values)
        column.clear();
}

const ScopeSampleColumn& ScopeSampleStore::slot(int slot) const
{
    if (slot < 0 || slot >= kSlots)
        return m_none;
    return m_values[slot];
}

void ScopeSampleStore::appendRow(const _ST_ReadScopeData& row)
{
    if (!std::isfinite(row.time))
        return;
    if (!m_time.empty() && row.time < m_time.front())
        clear();
    for (int k = 0; k < kRowValues; ++k) {
        if (m_receiving.test(k))
            m_values[k].push_back(row.values[k]);
    }
    m_time.push_back(row.time);
    trim();
}

void ScopeSampleStore::trim()
{
    if (m_time.empty())
        return;
    const double last = m_time.back();
    // A row exactly one span after the oldest keeps the oldest.
    while (!m_time.empty() && last - m_time.front() > m_span) {
        m_time.pop_front();
        for (int k = 0; k < kRowValues; ++k) {
            if (!m_values[k].empty())
                m_values[k].pop_front();
        }
    }
}
