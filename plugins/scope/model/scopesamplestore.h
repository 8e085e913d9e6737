// The scope page's sample store: one shared time base and one value column per
// curve slot, holding the last "Period Time" milliseconds of the recording.
// The collector appends a row at a time and the window slides forward; old
// samples leave from the front in constant time whatever the window length.
// Not locked: the page guards it with its data lock.
//
// A redraw takes a snapshot instead of a copy: chunks that are full never
// change again, so the snapshot shares them and copies only the chunk still
// being filled. Each chunk keeps a hierarchy of finite minima and maxima
// (blocks, groups of blocks, the chunk), so the plot finds the range of any
// stretch of a curve from a few entries without reading its values.
#pragma once

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct _ST_ReadScopeData;
namespace scopederived {
class ScopeDerivedSet;
}

// The finite minimum and maximum of a stretch of values.
struct ScopeRange
{
    double min;
    double max;
};

// A recording's time axis starts at 0: a stamp is placed on it (the page's
// plot, the recorder's file) relative to the first stamp kept, its origin.
constexpr double timeOnAxis(double stamp, double origin)
{
    return stamp - origin;
}

// Finite minimum and maximum of one chunk's values as a hierarchy of
// summaries: entries for blocks of kBlockSize values, then levels of entries
// each for kFanOut entries of the level below (64, 256, 1024 values), and
// the whole chunk. A range of values is answered from fewer than kFanOut
// entries at either end of each level plus fewer than kBlockSize values at
// either end, so the cost of a range does not grow with its length; the
// entries beside one position at each level share a cache line. An entry
// whose values hold nothing finite has lo > hi (+inf, -inf); infinities and
// NaN never count. The summaries add about 17 % to the values' memory.
//
// An entry of a higher level (and the chunk's) is filled in once the
// values under it are all written; a range only ever takes entries whose
// values lie wholly inside it, so a chunk being filled answers correctly.
struct ScopeChunkSummary
{
    struct Entry
    {
        double min;
        double max;
    };

    static constexpr std::size_t kBlockSize = 16;
    static constexpr std::size_t kFanOut = 4;
    static constexpr std::size_t kLevels = 4;
    static constexpr std::size_t kChunkSize = 4096;
    static constexpr std::size_t kBlocks = kChunkSize / kBlockSize;
    // Values under one entry of each level, and where the level's entries
    // begin in entry[].
    static constexpr std::size_t kSpan[kLevels] = {16, 64, 256, 1024};
    static constexpr std::size_t kFirst[kLevels] = {0, 256, 320, 336};
    static_assert(kSpan[kLevels - 1] * kFanOut == kChunkSize, "the levels cover a chunk");

    Entry entry[340];
    Entry all;
    // No value but finite ones was added since the reset: a range then
    // takes the values at its ends without looking at each for a NaN or an
    // infinity.
    bool finite = true;

    void reset();
    void add(std::size_t offset, double value)
    {
        // v - v is 0 for finite values and NaN for infinities and NaN.
        if (value - value == 0.0)
            widen(entry[offset / kBlockSize], value);
        else
            finite = false;
        if (offset % kBlockSize == kBlockSize - 1)
            completeBlock(offset / kBlockSize);
    }
    // Summarises values[0, n) afresh (n <= kChunkSize).
    void build(const double* values, std::size_t n);
    // Widens lo..hi by the finite values among values[first, last]
    // (offsets in the chunk this summarises, first <= last).
    void range(const double* values, std::size_t first, std::size_t last, double& lo, double& hi) const;
    // The entries of a level (0 = blocks) beside the one that holds offset:
    // one cache line, all that a range starting or ending there reads.
    const Entry* siblings(std::size_t level, std::size_t offset) const
    {
        const std::size_t i = offset / kSpan[level];
        return &entry[kFirst[level] + i / kFanOut * kFanOut];
    }

    static void widen(Entry& e, double value)
    {
        e.min = value < e.min ? value : e.min;
        e.max = value > e.max ? value : e.max;
    }

private:
    // Block b has all its values: folds it into the levels above.
    void completeBlock(std::size_t b);
};

// Aligned to cache lines, so that a block's values and a group's block
// summaries each take whole lines.
struct alignas(64) ScopeChunk
{
    static constexpr std::size_t kSize = ScopeChunkSummary::kChunkSize;
    static_assert(sizeof(double) * kSize % 64 == 0 && ScopeChunkSummary::kFirst[1] * 16 % 64 == 0,
                  "the summary's levels start on cache lines");
    double values[kSize];
    ScopeChunkSummary summary;
};

// Widens lo..hi by the finite values at positions first..last of values
// kept in chunks of ScopeChunk::kSize: chunkAt(c) gives chunk c's values and
// its summary (nullptr: the values are read one by one). A chunk wholly
// inside the range is answered by one entry for the chunk, wholeAt(c): its
// summary's, or a copy kept side by side with the other chunks' (see
// ScopeColumnSnapshot::whole), which spares a long range a page of memory
// per chunk. A long range asks for those entries some chunks ahead, so a
// window of a million values does not wait for memory chunk after chunk.
template <typename ChunkAt, typename WholeAt>
void scopeChunkedRange(std::size_t first, std::size_t last, ChunkAt chunkAt, WholeAt wholeAt, double& lo,
                       double& hi)
{
    constexpr std::size_t n = ScopeChunk::kSize;
    constexpr std::size_t kAhead = 8;
    const std::size_t lastChunk = last / n;
    auto prefetchWhole = [&](std::size_t c) {
        if (chunkAt(c).second)
            __builtin_prefetch(wholeAt(c));
    };
    for (std::size_t c = first / n + 1; c < lastChunk && c <= first / n + kAhead; ++c)
        prefetchWhole(c);
    while (first <= last) {
        const std::size_t c = first / n;
        const std::size_t end = std::min(last, c * n + n - 1);
        if (c + kAhead < lastChunk)
            prefetchWhole(c + kAhead);
        const auto chunk = chunkAt(c);
        const double* values = chunk.first;
        const ScopeChunkSummary* summary = chunk.second;
        if (summary && first == c * n && end == c * n + n - 1) {
            const ScopeChunkSummary::Entry& all = *wholeAt(c);
            lo = all.min < lo ? all.min : lo;
            hi = all.max > hi ? all.max : hi;
        } else if (summary) {
            summary->range(values, first - c * n, end - c * n, lo, hi);
        } else {
            double low = lo, high = hi;
            for (std::size_t i = first - c * n; i <= end - c * n; ++i) {
                const double x = values[i];
                if (x - x == 0.0) {
                    low = x < low ? x : low;
                    high = x > high ? x : high;
                }
            }
            lo = low;
            hi = high;
        }
        first = end + 1;
    }
}

// The same, each whole chunk answered by its own summary's entry.
template <typename ChunkAt>
void scopeChunkedRange(std::size_t first, std::size_t last, ChunkAt chunkAt, double& lo, double& hi)
{
    scopeChunkedRange(
        first, last, chunkAt, [&chunkAt](std::size_t c) { return &chunkAt(c).second->all; }, lo, hi);
}

// A number no other run of values has had in this process: a column takes a
// new one whenever its rows start afresh, so (source, row) names one value.
std::uint64_t scopeNewSource();

// The values of a column at one moment: chunk 0 holds the oldest value at
// position head. Every chunk is read-only and may be shared with the store.
struct ScopeColumnSnapshot
{
    std::vector<std::shared_ptr<const ScopeChunk>> chunks;
    std::size_t head = 0;
    std::size_t size = 0;
    // The column's source and the row number of the oldest value: rows are
    // counted from the column's start, so a row keeps its number while the
    // window slides and two snapshots agree on the value of a row.
    std::uint64_t source = 0;
    std::uint64_t firstRow = 0;
    // The entry for the whole chunk of each full chunk, whole[c] for
    // chunks[c] (the chunk still being filled has none), kept side by side:
    // the range of a window reads a few lines of them instead of a line in
    // a page of its own per chunk.
    std::vector<ScopeChunkSummary::Entry> whole;

    // Finite minimum and maximum of the values first..last (counted from
    // the oldest); none when there is no finite value among them.
    std::optional<ScopeRange> range(std::size_t first, std::size_t last) const;
};

// A queue of doubles stored in fixed-size chunks. Appending and dropping the
// oldest value are O(1); no single allocation ever grows with the window, so
// a long window never stalls the collector on a large reallocation.
class ScopeSampleColumn
{
public:
    static constexpr std::size_t kChunkSize = ScopeChunk::kSize;

    ScopeSampleColumn() : m_source(scopeNewSource()) {}
    ScopeSampleColumn(const ScopeSampleColumn&) = delete;
    ScopeSampleColumn& operator=(const ScopeSampleColumn&) = delete;

    void push_back(double value)
    {
        const std::size_t pos = m_head + m_size;
        const std::size_t c = pos / kChunkSize;
        if (c == m_chunks.size())
            addChunk();
        ScopeChunk& chunk = *m_chunks[c];
        const std::size_t offset = pos % kChunkSize;
        // In a long window the chunk being filled is memory that left the
        // caches long ago: ask for its lines a few rows ahead, so 37 columns
        // appending side by side do not each wait for memory.
        if (offset % 8 == 0 && offset + kPrefetchAhead < kChunkSize)
            __builtin_prefetch(&chunk.values[offset + kPrefetchAhead], 1, 3);
        chunk.values[offset] = value;
        chunk.summary.add(offset, value);
        if (offset == kChunkSize - 1)
            m_whole.push_back(chunk.summary.all);
        ++m_size;
    }
    void pop_front();
    void clear();

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    double front() const { return at(0); }
    double back() const { return at(m_size - 1); }
    double at(std::size_t i) const
    {
        const std::size_t pos = m_head + i;
        return m_chunks[pos / kChunkSize]->values[pos % kChunkSize];
    }

    // Copies all values, oldest first, to out (room for size() doubles),
    // subtracting offset from each.
    void copyTo(double* out, double offset = 0.0) const;

    // Shares the full chunks and copies the one being filled, so the
    // snapshot never sees a later append.
    ScopeColumnSnapshot snapshot() const;

    // Chunks held, for memory accounting in tests.
    std::size_t chunkCount() const { return m_chunks.size(); }

private:
    static constexpr std::size_t kPrefetchAhead = 64;
    void addChunk();

    // Only the last chunk is ever written; all others are full and may be
    // shared with snapshots. A chunk leaving the front is released, never
    // reused, because a snapshot may still read it.
    std::deque<std::shared_ptr<ScopeChunk>> m_chunks;
    // The whole-chunk entries of the full chunks among them, oldest first
    // (see ScopeColumnSnapshot::whole).
    std::deque<ScopeChunkSummary::Entry> m_whole;
    std::size_t m_head = 0; // position of the oldest value in the first chunk
    std::size_t m_size = 0;
    // See ScopeColumnSnapshot: values dropped from the front since the
    // column's rows started afresh (at construction or clear()).
    std::uint64_t m_source;
    std::uint64_t m_dropped = 0;
};

class ScopeSampleStore
{
public:
    static constexpr int kSlots = 48;     // curve slots of the plot
    static constexpr int kRowValues = 36; // values per controller row
    using SlotMask = std::bitset<kSlots>;

    // The whole window at one moment, for drawing without the data lock.
    struct Snapshot
    {
        std::shared_ptr<const ScopeColumnSnapshot> times;
        std::shared_ptr<const ScopeColumnSnapshot> values[kSlots]; // null when empty
        // Stamps never decrease across the window.
        bool sortedTimes = true;
    };

    ScopeSampleStore();
    ~ScopeSampleStore();
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

    // Slots 36..47 take the derived channels, evaluated from each row as it
    // is appended. Setting a set (or none) empties those columns.
    static constexpr int kDerivedSlots = kSlots - kRowValues;
    void setDerived(std::unique_ptr<scopederived::ScopeDerivedSet> set);
    int derivedCount() const;

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

    // Cost: the chunk pointers plus at most one partial chunk per column.
    Snapshot snapshot() const;

private:
    void trim();

    ScopeSampleColumn m_time;
    ScopeSampleColumn m_values[kSlots];
    ScopeSampleColumn m_none;
    SlotMask m_receiving;
    double m_span = 10000.0;
    // Rows appended since the last clear, and the number of the newest row
    // whose stamp is below the one before it: the window is in order when
    // that row has already left it (or is its oldest row).
    std::size_t m_appended = 0;
    std::size_t m_lastDescent = 0;
    std::unique_ptr<scopederived::ScopeDerivedSet> m_derived;
};
