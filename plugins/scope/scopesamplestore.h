// The scope page's sample store: one shared time base and one value column per
// curve slot, holding the last "Period Time" milliseconds of the recording.
// The collector appends a row at a time and the window slides forward; old
// samples leave from the front in constant time whatever the window length.
// Not locked: the page guards it with its data lock.
#pragma once

#include <bitset>
#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

struct _ST_ReadScopeData;

// A queue of doubles stored in fixed-size chunks. Appending and dropping the
// oldest value are O(1); no single allocation ever grows with the window, so
// a long window never stalls the collector on a large reallocation. One
// emptied chunk is kept for reuse, which makes a steady sliding window
// allocation-free.
class ScopeSampleColumn
{
public:
    static constexpr std::size_t kChunkSize = 4096;

    ScopeSampleColumn() = default;
    ScopeSampleColumn(const ScopeSampleColumn&) = delete;
    ScopeSampleColumn& operator=(const ScopeSampleColumn&) = delete;

    void push_back(double value);
    void pop_front();
    void clear();

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    double front() const { return at(0); }
    double back() const { return at(m_size - 1); }
    double at(std::size_t i) const
    {
        const std::size_t pos = m_head + i;
        return m_chunks[pos / kChunkSize][pos % kChunkSize];
    }

    // Copies all values, oldest first, to out (room for size() doubles),
    // subtracting offset from each.
    void copyTo(double* out, double offset = 0.0) const;

    // Chunks held, for memory accounting in tests.
    std::size_t chunkCount() const { return m_chunks.size(); }

private:
    std::deque<std::unique_ptr<double[]>> m_chunks;
    std::unique_ptr<double[]> m_spare;
    std::size_t m_head = 0; // position of the oldest value in the first chunk
    std::size_t m_size = 0;
};

class ScopeSampleStore
{
public:
    static constexpr int kSlots = 48;     // curve slots of the plot
    static constexpr int kRowValues = 36; // values per controller row
    using SlotMask = std::bitset<kSlots>;

    ScopeSampleStore() = default;
    ScopeSampleStore(const ScopeSampleStore&) = delete;
    ScopeSampleStore& operator=(const ScopeSampleStore&) = delete;

    // Empties every column and chooses the slots that take a value from each
    // row. Only slots 0..35 can receive: a row carries 36 values.
    void reset(const SlotMask& receiving);
    // Empties every column, keeping the receiving slots.
    void clear();

    // The plotted window in milliseconds; rows older than this behind the
    // newest row are dropped as new rows arrive.
    void setSpan(double spanMs) { m_span = spanMs; }
    double span() const { return m_span; }

    const SlotMask& receivingSlots() const { return m_receiving; }

    // Appends value k of the row to every receiving slot k and the time stamp
    // to the time base, then trims the window. A stamp that is not a finite
    // number cannot be placed on the time axis and the row is skipped. A
    // stamp earlier than the oldest one kept means the controller restarted
    // its clock: the window starts afresh, since the old stamps would never
    // age out and the window would grow without bound.
    void appendRow(const _ST_ReadScopeData& row);

    std::size_t rowCount() const { return m_time.size(); }
    const ScopeSampleColumn& times() const { return m_time; }
    // Values of one slot, aligned with times(); empty for slots that do not
    // receive and for slot numbers outside 0..47.
    const ScopeSampleColumn& slot(int slot) const;

private:
    void trim();

    ScopeSampleColumn m_time;
    ScopeSampleColumn m_values[kSlots];
    ScopeSampleColumn m_none;
    SlotMask m_receiving;
    double m_span = 10000.0;
};
