#include "scopesamplestore.h"

#include "VX_Prod.h"
#include "scopederived.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include <sys/mman.h>

namespace {

// Chunks live in 2 MiB slabs that the kernel may back with huge pages. A
// redraw reads a little of every chunk of the window, 36 columns of a
// million values: with 4 KiB pages nearly every read also misses the
// address translation cache, with 2 MiB pages almost none does. A slab is
// returned when its last chunk leaves (one empty slab is kept); freed places
// are reused first, so a sliding window keeps the slabs it has.
class ChunkPool
{
public:
    static ChunkPool& instance()
    {
        static ChunkPool* pool = new ChunkPool;  // outlives every chunk
        return *pool;
    }

    ScopeChunk* allocate()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_partial.empty()) {
            void* memory = mapSlab();
            Slab* slab = new (static_cast<char*>(memory) + kSlotBytes * kSlots) Slab;
            for (std::size_t k = 0; k < kSlots; ++k)
                slab->free[k] = std::uint8_t(kSlots - 1 - k);
            slab->freeCount = kSlots;
            m_partial.push_back(slab);
        }
        Slab* slab = m_partial.back();
        if (slab == m_spare)
            m_spare = nullptr;
        const std::size_t slot = slab->free[--slab->freeCount];
        if (slab->freeCount == 0)
            m_partial.pop_back();
        return reinterpret_cast<ScopeChunk*>(base(slab) + slot * kSlotBytes);
    }

    void release(ScopeChunk* chunk)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(chunk);
        char* start = reinterpret_cast<char*>(address & ~std::uintptr_t(kSlabBytes - 1));
        Slab* slab = reinterpret_cast<Slab*>(start + kSlotBytes * kSlots);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (slab->freeCount == 0)
            m_partial.push_back(slab);
        slab->free[slab->freeCount++] = std::uint8_t((address - reinterpret_cast<std::uintptr_t>(start)) / kSlotBytes);
        if (slab->freeCount == kSlots) {
            // One empty slab is kept: a snapshot's copies come and go with
            // every redraw.
            if (!m_spare) {
                m_spare = slab;
                return;
            }
            m_partial.erase(std::find(m_partial.begin(), m_partial.end(), slab));
            slab->~Slab();
            munmap(start, kSlabBytes);
        }
    }

private:
    static constexpr std::size_t kSlabBytes = std::size_t(2) << 20;
    static constexpr std::size_t kSlotBytes = sizeof(ScopeChunk);
    static constexpr std::size_t kSlots = (kSlabBytes - 256) / kSlotBytes;
    static_assert(kSlotBytes % alignof(ScopeChunk) == 0 && kSlots >= 1 && kSlots <= 255, "slab layout");

    // Kept in the slab's unused tail.
    struct Slab
    {
        std::size_t freeCount = 0;
        std::uint8_t free[kSlots];
    };
    static_assert(sizeof(Slab) <= kSlabBytes - kSlotBytes * kSlots, "the slab's tail holds its record");

    // A slab straight from the kernel, aligned to its size (mapped twice as
    // large, the rest given back), and given back to the kernel when empty:
    // through the C allocator, freed slabs would stay in its heap and the
    // resident memory of a sliding window would creep up.
    static void* mapSlab()
    {
        void* mapped = mmap(nullptr, 2 * kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        const auto begin = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t start = (begin + kSlabBytes - 1) & ~std::uintptr_t(kSlabBytes - 1);
        if (start > begin)
            munmap(mapped, start - begin);
        if (begin + kSlabBytes > start)
            munmap(reinterpret_cast<void*>(start + kSlabBytes), begin + kSlabBytes - start);
        madvise(reinterpret_cast<void*>(start), kSlabBytes, MADV_HUGEPAGE); // a hint; no harm where refused
        return reinterpret_cast<void*>(start);
    }

    static char* base(Slab* slab) { return reinterpret_cast<char*>(slab) - kSlotBytes * kSlots; }

    std::mutex m_mutex;
    std::vector<Slab*> m_partial;  // slabs with a free place
    Slab* m_spare = nullptr;       // among them, one with every place free
};

std::shared_ptr<ScopeChunk> newChunk()
{
    ScopeChunk* chunk = new (ChunkPool::instance().allocate()) ScopeChunk;
    return std::shared_ptr<ScopeChunk>(chunk, [](ScopeChunk* c) {
        c->~ScopeChunk();
        ChunkPool::instance().release(c);
    });
}

} // namespace

void ScopeChunkSummary::reset()
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    const Entry none{inf, -inf};
    std::fill(std::begin(entry), std::end(entry), none);
    all = none;
    finite = true;
}

void ScopeChunkSummary::completeBlock(std::size_t b)
{
    auto fold = [](Entry& into, const Entry& e) {
        into.min = e.min < into.min ? e.min : into.min;
        into.max = e.max > into.max ? e.max : into.max;
    };
    // i: the complete entry of level l; its parent is complete with its
    // last child.
    std::size_t i = b;
    for (std::size_t l = 0; l + 1 < kLevels; ++l) {
        fold(entry[kFirst[l + 1] + i / kFanOut], entry[kFirst[l] + i]);
        if (i % kFanOut != kFanOut - 1)
            return;
        i /= kFanOut;
    }
    fold(all, entry[kFirst[kLevels - 1] + i]);
}

void ScopeChunkSummary::build(const double* values, std::size_t n)
{
    reset();
    n = std::min(n, kChunkSize);
    for (std::size_t b = 0; b * kBlockSize < n; ++b) {
        Entry& e = entry[b];
        const std::size_t end = std::min(n, b * kBlockSize + kBlockSize);
        for (std::size_t i = b * kBlockSize; i < end; ++i) {
            if (values[i] - values[i] == 0.0)
                widen(e, values[i]);
            else
                finite = false;
        }
        if (end == b * kBlockSize + kBlockSize)
            completeBlock(b);
    }
}

void ScopeChunkSummary::range(const double* values, std::size_t first, std::size_t last, double& lo,
                              double& hi) const
{
    double low = lo, high = hi;
    auto take = [&](const Entry* e, std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k) {
            low = e[k].min < low ? e[k].min : low;
            high = e[k].max > high ? e[k].max : high;
        }
    };
    // Two values at a time without branches: a range reads up to 15 values
    // at either end, and a branch per value costs more than the comparisons.
    // Where every value is finite, a comparison and a choice per lane (a
    // minimum and a maximum instruction) are all a value costs.
    const bool allFinite = finite;
    auto scan = [&](std::size_t from, std::size_t to) {
        using Pair = double __attribute__((vector_size(16)));
        Pair pairLow = {low, low}, pairHigh = {high, high};
        std::size_t i = from;
        if (allFinite) {
            for (; i + 2 <= to; i += 2) {
                Pair x;
                std::memcpy(&x, values + i, sizeof x);
                pairLow = x < pairLow ? x : pairLow;
                pairHigh = x > pairHigh ? x : pairHigh;
            }
        }
        for (; i + 2 <= to; i += 2) {
            Pair x;
            std::memcpy(&x, values + i, sizeof x);
            const auto kept = (x - x) == 0.0;
            pairLow = (kept & (x < pairLow)) ? x : pairLow;
            pairHigh = (kept & (x > pairHigh)) ? x : pairHigh;
        }
        low = pairLow[0] < pairLow[1] ? pairLow[0] : pairLow[1];
        high = pairHigh[0] > pairHigh[1] ? pairHigh[0] : pairHigh[1];
        if (i < to) {
            const double x = values[i];
            if (x - x == 0.0) {
                low = x < low ? x : low;
                high = x > high ? x : high;
            }
        }
    };

    // Half-open [a, b) in values: the values up to whole blocks at the ends,
    // then at each level the entries up to whole entries of the next.
    std::size_t a = first, b = last + 1;
    std::size_t ua = (a + kBlockSize - 1) / kBlockSize, ub = b / kBlockSize;
    if (ua >= ub) {
        scan(a, b);
    } else {
        scan(a, ua * kBlockSize);
        scan(ub * kBlockSize, b);
        std::size_t l = 0;
        for (;; ++l) {
            a = ua;
            b = ub;
            const Entry* e = &entry[kFirst[l]];
            if (l + 1 == kLevels) {
                if (a == 0 && b == kFanOut)
                    take(&all, 0, 1);
                else
                    take(e, a, b);
                break;
            }
            ua = (a + kFanOut - 1) / kFanOut;
            ub = b / kFanOut;
            if (ua >= ub) {
                take(e, a, b);
                break;
            }
            take(e, a, ua * kFanOut);
            take(e, ub * kFanOut, b);
        }
    }
    lo = low;
    hi = high;
}

std::optional<ScopeRange> ScopeColumnSnapshot::range(std::size_t first, std::size_t last) const
{
    if (size == 0 || first > last || first >= size)
        return std::nullopt;
    last = std::min(last, size - 1);
    constexpr double inf = std::numeric_limits<double>::infinity();
    double low = inf, high = -inf;
    scopeChunkedRange(
        head + first, head + last,
        [this](std::size_t c) { return std::make_pair(chunks[c]->values, &chunks[c]->summary); },
        [this](std::size_t c) { return c < whole.size() ? &whole[c] : &chunks[c]->summary.all; }, low, high);
    if (!(low <= high))
        return std::nullopt;
    return ScopeRange{low, high};
}

void ScopeSampleColumn::addChunk()
{
    // Left uninitialised: only written positions are ever read.
    std::shared_ptr<ScopeChunk> chunk = newChunk();
    chunk->summary.reset();
    m_chunks.push_back(std::move(chunk));
}

std::uint64_t scopeNewSource()
{
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

void ScopeSampleColumn::pop_front()
{
    if (m_size == 0)
        return;
    --m_size;
    ++m_dropped;
    if (++m_head == kChunkSize) {
        m_chunks.pop_front();
        m_whole.pop_front();
        m_head = 0;
    }
    if (m_size == 0) {
        // The summaries of a chunk cover everything written into it, so an
        // emptied column starts on a fresh chunk rather than rewriting one.
        m_chunks.clear();
        m_whole.clear();
        m_head = 0;
    }
}

void ScopeSampleColumn::clear()
{
    m_chunks.clear();
    m_whole.clear();
    m_head = 0;
    m_size = 0;
    m_source = scopeNewSource();
    m_dropped = 0;
}

void ScopeSampleColumn::copyTo(double* out, double offset) const
{
    std::size_t left = m_size;
    std::size_t start = m_head;
    for (const auto& chunk : m_chunks) {
        if (left == 0)
            break;
        const std::size_t n = std::min(left, kChunkSize - start);
        const double* src = chunk->values + start;
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

ScopeColumnSnapshot ScopeSampleColumn::snapshot() const
{
    ScopeColumnSnapshot snap;
    snap.head = m_head;
    snap.size = m_size;
    snap.source = m_source;
    snap.firstRow = m_dropped;
    if (m_size == 0)
        return snap;
    const std::size_t end = m_head + m_size;
    const std::size_t used = (end + kChunkSize - 1) / kChunkSize;
    snap.chunks.reserve(used);
    snap.whole.assign(m_whole.begin(), m_whole.end());
    for (std::size_t c = 0; c < used; ++c) {
        if ((c + 1) * kChunkSize <= end) {
            snap.chunks.push_back(m_chunks[c]);
            continue;
        }
        // The chunk the collector is still filling.
        const std::size_t fill = end - c * kChunkSize;
        std::shared_ptr<ScopeChunk> copy = newChunk();
        std::memcpy(copy->values, m_chunks[c]->values, fill * sizeof(double));
        copy->summary = m_chunks[c]->summary;
        snap.chunks.push_back(std::move(copy));
    }
    return snap;
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
    m_appended = 0;
    m_lastDescent = 0;
    if (m_derived)
        m_derived->reset();
}

ScopeSampleStore::ScopeSampleStore() = default;
ScopeSampleStore::~ScopeSampleStore() = default;

int ScopeSampleStore::derivedCount() const
{
    return m_derived ? m_derived->count() : 0;
}

void ScopeSampleStore::setDerived(std::unique_ptr<scopederived::ScopeDerivedSet> set)
{
    m_derived = std::move(set);
    if (m_derived && m_derived->count() > kDerivedSlots)
        m_derived.reset();
    for (int k = kRowValues; k < kSlots; ++k)
        m_values[k].clear();
    if (m_derived) {
        m_derived->reset();
        // Rows already kept have no derived values; the derived columns
        // must stay aligned with the time base.
        clear();
    }
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
    if (!m_time.empty() && row.time < m_time.back())
        m_lastDescent = m_appended;
    for (int k = 0; k < kRowValues; ++k) {
        if (m_receiving.test(k))
            m_values[k].push_back(row.values[k]);
    }
    if (m_derived) {
        double derived[kDerivedSlots];
        m_derived->evaluate(row.time, row.values, derived);
        for (int i = 0; i < m_derived->count(); ++i)
            m_values[kRowValues + i].push_back(derived[i]);
    }
    m_time.push_back(row.time);
    ++m_appended;
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
        for (int k = 0; k < kSlots; ++k) {
            if (!m_values[k].empty())
                m_values[k].pop_front();
        }
    }
}

ScopeSampleStore::Snapshot ScopeSampleStore::snapshot() const
{
    Snapshot snap;
    snap.times = std::make_shared<const ScopeColumnSnapshot>(m_time.snapshot());
    for (int k = 0; k < kSlots; ++k) {
        if (!m_values[k].empty())
            snap.values[k] = std::make_shared<const ScopeColumnSnapshot>(m_values[k].snapshot());
    }
    // Row numbers: the oldest row kept is m_appended - size.
    snap.sortedTimes = m_lastDescent <= m_appended - m_time.size();
    return snap;
}
