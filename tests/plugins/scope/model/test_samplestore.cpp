// The scope's sample store: the chunked column against a reference queue, the
// shared time base, and the sliding window with its exact span boundary; and
// the count of rows missing at the controller's cycle.
#include "scopesamplestore.h"
#include "scopegaps.h"

#include "VX_Prod.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <random>
#include <vector>

namespace {

_ST_ReadScopeData makeRow(double time, double base = 0.0)
{
    _ST_ReadScopeData row{};
    row.time = time;
    for (int k = 0; k < 36; ++k)
        row.values[k] = base + k;
    return row;
}

std::vector<double> contents(const ScopeSampleColumn& column)
{
    std::vector<double> out(column.size());
    if (!out.empty())
        column.copyTo(out.data());
    return out;
}

ScopeSampleStore::SlotMask slots(std::initializer_list<int> list)
{
    ScopeSampleStore::SlotMask mask;
    for (int s : list)
        mask.set(s);
    return mask;
}

} // namespace

TEST(ScopeSampleColumn, MatchesAReferenceQueueAcrossChunkBoundaries)
{
    ScopeSampleColumn column;
    std::deque<double> reference;
    std::mt19937 rng(7);
    // Bursts of pushes and pops of varying length cross many chunk edges,
    // including emptying the column completely and refilling it.
    for (int round = 0; round < 400; ++round) {
        const int pushes = int(rng() % 9000);
        for (int i = 0; i < pushes; ++i) {
            const double v = double(rng() % 100000) / 7.0;
            column.push_back(v);
            reference.push_back(v);
        }
        const int pops = int(rng() % 9500);
        for (int i = 0; i < pops; ++i) {
            column.pop_front();
            if (!reference.empty())
                reference.pop_front();
        }
        ASSERT_EQ(column.size(), reference.size()) << "round " << round;
        if (!reference.empty()) {
            ASSERT_EQ(column.front(), reference.front());
            ASSERT_EQ(column.back(), reference.back());
            const std::size_t mid = reference.size() / 2;
            ASSERT_EQ(column.at(mid), reference[mid]);
        }
    }
    const std::vector<double> got = contents(column);
    ASSERT_EQ(got, std::vector<double>(reference.begin(), reference.end()));
}

TEST(ScopeSampleColumn, CopySubtractsTheOffset)
{
    ScopeSampleColumn column;
    for (int i = 0; i < int(ScopeSampleColumn::kChunkSize) + 10; ++i)
        column.push_back(1000.0 + i);
    for (int i = 0; i < 5; ++i)
        column.pop_front();
    std::vector<double> out(column.size());
    column.copyTo(out.data(), column.front());
    ASSERT_EQ(out.size(), ScopeSampleColumn::kChunkSize + 5);
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], double(i)) << i;
}

TEST(ScopeSampleColumn, SlidingWindowHoldsBoundedMemory)
{
    // A steady window of 1000 values over a million pushes keeps at most
    // the chunks that cover the window (plus one being filled).
    ScopeSampleColumn column;
    std::size_t most = 0;
    for (int i = 0; i < 1000000; ++i) {
        column.push_back(i);
        if (column.size() > 1000)
            column.pop_front();
        most = std::max(most, column.chunkCount());
    }
    EXPECT_EQ(column.size(), 1000u);
    EXPECT_EQ(column.front(), 999000.0);
    EXPECT_LE(most, 2u);
}

TEST(ScopeSampleColumn, PopOnEmptyAndClearAreHarmless)
{
    ScopeSampleColumn column;
    column.pop_front();
    EXPECT_TRUE(column.empty());
    column.push_back(3.0);
    column.clear();
    EXPECT_TRUE(column.empty());
    column.push_back(4.0);
    EXPECT_EQ(column.front(), 4.0);
    EXPECT_EQ(column.size(), 1u);
}

TEST(ScopeSampleStore, ValueKGoesToReceivingSlotKOnly)
{
    ScopeSampleStore store;
    // Slot 40 cannot receive: a row holds 36 values.
    store.reset(slots({0, 3, 35, 40}));
    store.appendRow(makeRow(1.0, 100.0));
    store.appendRow(makeRow(2.0, 200.0));

    EXPECT_EQ(store.rowCount(), 2u);
    EXPECT_EQ(contents(store.times()), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(contents(store.slot(0)), (std::vector<double>{100.0, 200.0}));
    EXPECT_EQ(contents(store.slot(3)), (std::vector<double>{103.0, 203.0}));
    EXPECT_EQ(contents(store.slot(35)), (std::vector<double>{135.0, 235.0}));
    for (int s : {1, 2, 4, 34, 36, 40, 47})
        EXPECT_TRUE(store.slot(s).empty()) << "slot " << s;
    EXPECT_TRUE(store.slot(-1).empty());
    EXPECT_TRUE(store.slot(48).empty());
    EXPECT_FALSE(store.receivingSlots().test(40));
}

TEST(ScopeSampleStore, ResetEmptiesAndChangesTheReceivingSlots)
{
    ScopeSampleStore store;
    store.reset(slots({0, 1}));
    store.appendRow(makeRow(1.0));
    store.reset(slots({2}));
    EXPECT_EQ(store.rowCount(), 0u);
    EXPECT_TRUE(store.slot(0).empty());
    store.appendRow(makeRow(5.0));
    EXPECT_TRUE(store.slot(0).empty());
    EXPECT_EQ(contents(store.slot(2)), (std::vector<double>{2.0}));
    store.clear();
    EXPECT_EQ(store.rowCount(), 0u);
    store.appendRow(makeRow(6.0));
    EXPECT_EQ(store.slot(2).size(), 1u) << "clear keeps the receiving slots";
}

struct SpanCase
{
    const char* name;
    double span;
    std::vector<double> times;
    std::vector<double> kept;
};

class ScopeSampleStoreSpan : public ::testing::TestWithParam<SpanCase>
{
};

TEST_P(ScopeSampleStoreSpan, KeepsExactlyTheWindow)
{
    const SpanCase& c = GetParam();
    ScopeSampleStore store;
    store.reset(slots({0, 7}));
    store.setSpan(c.span);
    for (double t : c.times)
        store.appendRow(makeRow(t, t));
    EXPECT_EQ(contents(store.times()), c.kept);
    // Every receiving slot stays aligned with the time base.
    std::vector<double> expected0, expected7;
    for (double t : c.kept) {
        expected0.push_back(t);
        expected7.push_back(t + 7);
    }
    EXPECT_EQ(contents(store.slot(0)), expected0);
    EXPECT_EQ(contents(store.slot(7)), expected7);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ScopeSampleStoreSpan,
    ::testing::Values(
        SpanCase{"ExactlyOneSpanKeepsTheOldest", 10.0, {0, 5, 10}, {0, 5, 10}},
        SpanCase{"JustOverOneSpanDropsIt", 10.0, {0, 5, 10.5}, {5, 10.5}},
        SpanCase{"AJumpDropsEverythingOlder", 10.0, {0, 1, 2, 3, 100}, {100}},
        SpanCase{"SeveralDroppedAtOnce", 10.0, {0, 1, 2, 3, 4, 12.5}, {3, 4, 12.5}},
        SpanCase{"ZeroSpanKeepsEqualStamps", 0.0, {1, 2, 2, 2}, {2, 2, 2}},
        SpanCase{"ClockRestartStartsAfresh", 10.0, {50, 51, 52, 3, 4}, {3, 4}},
        SpanCase{"SmallReorderInsideTheWindowIsKept", 10.0, {0, 5, 4, 6}, {0, 5, 4, 6}},
        SpanCase{"NonFiniteStampIsSkipped", 10.0,
                 {0, std::numeric_limits<double>::quiet_NaN(), 1,
                  std::numeric_limits<double>::infinity(), 2},
                 {0, 1, 2}}),
    [](const ::testing::TestParamInfo<SpanCase>& info) { return std::string(info.param.name); });

TEST(ScopeSampleStore, TenSecondWindowAtOneKilohertz)
{
    ScopeSampleStore store;
    store.reset(slots({0, 1, 2}));
    store.setSpan(10000.0);
    double widest = 0.0;
    for (int i = 0; i < 25000; ++i) {
        store.appendRow(makeRow(i));
        widest = std::max(widest, store.times().back() - store.times().front());
        ASSERT_EQ(store.slot(1).size(), store.rowCount());
    }
    EXPECT_EQ(widest, 10000.0);
    // The row exactly one span after the oldest keeps the oldest: 10001 rows.
    EXPECT_EQ(store.rowCount(), 10001u);
    EXPECT_EQ(store.times().front(), 14999.0);
    EXPECT_EQ(store.slot(2).front(), 2.0);
}

TEST(ScopeSampleStore, NarrowingTheSpanTrimsOnTheNextRow)
{
    ScopeSampleStore store;
    store.reset(slots({0}));
    for (int i = 0; i <= 100; ++i)
        store.appendRow(makeRow(i));
    EXPECT_EQ(store.rowCount(), 101u);
    store.setSpan(10.0);
    store.appendRow(makeRow(101));
    EXPECT_EQ(store.rowCount(), 11u);
    EXPECT_EQ(store.times().front(), 91.0);
}

namespace {

std::vector<double> snapshotValues(const ScopeColumnSnapshot& snap)
{
    std::vector<double> out;
    for (std::size_t i = 0; i < snap.size; ++i) {
        const std::size_t pos = snap.head + i;
        out.push_back(snap.chunks[pos / ScopeChunk::kSize]->values[pos % ScopeChunk::kSize]);
    }
    return out;
}

} // namespace

TEST(ScopeSampleStore, SnapshotSharesFullChunksAndIsUntouchedByLaterRows)
{
    ScopeSampleStore store;
    store.reset(slots({0, 5}));
    store.setSpan(9000);
    double t = 0;
    for (; t < 10000; ++t)
        store.appendRow(makeRow(t, t));
    const ScopeSampleStore::Snapshot first = store.snapshot();
    const std::vector<double> times = snapshotValues(*first.times);
    const std::vector<double> fives = snapshotValues(*first.values[5]);
    ASSERT_EQ(times, contents(store.times()));
    ASSERT_EQ(fives, contents(store.slot(5)));
    EXPECT_FALSE(first.values[1]) << "a slot that does not receive has no column";

    const ScopeSampleStore::Snapshot second = store.snapshot();
    const auto& a = first.times->chunks;
    const auto& b = second.times->chunks;
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GE(a.size(), 2u);
    for (std::size_t c = 0; c + 1 < a.size(); ++c)
        EXPECT_EQ(a[c].get(), b[c].get()) << "full chunk " << c << " is shared";
    EXPECT_NE(a.back().get(), b.back().get()) << "the chunk being filled is copied";

    // The window slides over several chunk edges; the snapshot stays as taken.
    for (; t < 30000; ++t)
        store.appendRow(makeRow(t, t));
    EXPECT_EQ(snapshotValues(*first.times), times);
    EXPECT_EQ(snapshotValues(*first.values[5]), fives);
    EXPECT_EQ(snapshotValues(*store.snapshot().times), contents(store.times()));
}

TEST(ScopeSampleStore, SnapshotOfAnEmptyStoreIsEmpty)
{
    ScopeSampleStore store;
    store.reset(slots({0}));
    const ScopeSampleStore::Snapshot snap = store.snapshot();
    ASSERT_TRUE(snap.times);
    EXPECT_EQ(snap.times->size, 0u);
    EXPECT_FALSE(snap.values[0]);
    EXPECT_TRUE(snap.sortedTimes);
}

struct OrderCase
{
    const char* name;
    std::vector<double> stamps;
    double span;
    bool sorted;
};

class ScopeSampleStoreOrder : public ::testing::TestWithParam<OrderCase>
{
};

TEST_P(ScopeSampleStoreOrder, SortedTimesFollowsTheWindow)
{
    ScopeSampleStore store;
    store.reset(slots({0}));
    store.setSpan(GetParam().span);
    for (double s : GetParam().stamps)
        store.appendRow(makeRow(s));
    const std::vector<double> kept = contents(store.times());
    EXPECT_EQ(store.snapshot().sortedTimes, GetParam().sorted);
    EXPECT_EQ(std::is_sorted(kept.begin(), kept.end()), GetParam().sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Stamps, ScopeSampleStoreOrder,
    ::testing::Values(OrderCase{"rising", {1, 2, 3, 4}, 100, true},
                      OrderCase{"repeated", {1, 2, 2, 3}, 100, true},
                      OrderCase{"stepBackInside", {1, 5, 3, 6}, 100, false},
                      OrderCase{"stepBackTrimmedAway", {10, 50, 30, 200, 210}, 100, true},
                      OrderCase{"restartedClock", {100, 200, 50, 60}, 1000, true}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

// ---- rows missing at the controller's cycle ---------------------------------

TEST(ScopeGapCounter, CountsRowsMissingAtTheShortestStep)
{
    struct Case
    {
        const char* name;
        std::vector<double> stamps;
        double end; // countUpTo, NaN for none
        std::int64_t gaps;
        std::int64_t missing;
        double cycle;
    };
    const double none = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"steady", {10, 11, 12, 13}, none, 0, 0, 1.0},
        {"two gaps", {0, 1, 2, 5, 6, 17}, none, 2, 12, 1.0},
        {"jitter is no gap", {0, 1, 2.4, 3.4, 4.3}, none, 0, 0, 0.9},
        {"half-millisecond cycle", {0, 0.5, 1.0, 2.5, 3.0}, none, 1, 2, 0.5},
        {"restarted controller", {100, 101, 102, 5, 6, 9}, none, 1, 2, 1.0},
        {"not a number is passed over", {0, 1, none, 2, 3}, none, 0, 0, 1.0},
        {"rows missing before the end", {0, 1, 2}, 5, 1, 2, 1.0},
        {"the end right after the last row", {0, 1, 2}, 3, 0, 0, 1.0},
        {"one row: no cycle yet", {7}, 20, 0, 0, std::numeric_limits<double>::infinity()},
    };
    for (const Case& c : cases) {
        ScopeGapCounter counter;
        for (double t : c.stamps)
            counter.add(t);
        if (!std::isnan(c.end))
            counter.countUpTo(c.end);
        EXPECT_EQ(counter.gaps(), c.gaps) << c.name;
        EXPECT_EQ(counter.missingRows(), c.missing) << c.name;
        if (std::isinf(c.cycle))
            EXPECT_TRUE(std::isinf(counter.cycle())) << c.name;
        else
            EXPECT_NEAR(counter.cycle(), c.cycle, 1e-12) << c.name;
    }
}

// The summary hierarchy (blocks, the levels above them, chunks) answers
// every range with the finite minimum and maximum a plain pass finds: random
// values with NaN and infinities, a front of more than a chunk dropped (the
// chunk-wide entries kept side by side leave with their chunk; the first
// chunk's summaries also cover values no longer kept), a last chunk still being
// filled (its upper entries partly complete), stretches of every length
// from one value to the whole column.
TEST(ScopeSampleStore, SummaryRangesEqualAPlainPass)
{
    std::mt19937 rng(1901);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double inf = std::numeric_limits<double>::infinity();
    ScopeSampleColumn column;
    const int dropped = int(ScopeChunk::kSize) + 700;
    for (int i = 0; i < dropped; ++i)
        column.push_back(i % 2 ? 1e12 : -1e12);  // dropped again below
    // Every other chunk holds finite values only, the rest NaNs and
    // infinities among them.
    for (int i = 0; i < 5 * int(ScopeChunk::kSize) + 1357; ++i) {
        const double r = (dropped + i) / int(ScopeChunk::kSize) % 2 ? unit(rng) : 1.0;
        column.push_back(r < 0.02 ? std::nan("") : r < 0.03 ? inf : r < 0.04 ? -inf : (unit(rng) - 0.5) * 1000);
    }
    for (int i = 0; i < dropped; ++i)
        column.pop_front();
    const std::vector<double> values = contents(column);
    const ScopeColumnSnapshot snap = column.snapshot();
    const std::size_t n = values.size();

    auto plain = [&](std::size_t a, std::size_t b, double& lo, double& hi) {
        lo = inf;
        hi = -inf;
        for (std::size_t i = a; i <= b; ++i) {
            if (std::isfinite(values[i])) {
                lo = std::min(lo, values[i]);
                hi = std::max(hi, values[i]);
            }
        }
        return lo <= hi;
    };
    for (int probe = 0; probe < 3000; ++probe) {
        // Short, middling and long stretches alike.
        const std::size_t length = std::size_t(std::pow(double(n), unit(rng)));
        const std::size_t a = std::size_t(unit(rng) * double(n - std::min(length, n - 1)));
        const std::size_t b = std::min(n - 1, a + length - 1 + (length == 0));
        double plainLo = 0, plainHi = 0;
        const std::optional<ScopeRange> range = snap.range(a, b);
        ASSERT_EQ(range.has_value(), plain(a, b, plainLo, plainHi)) << a << ".." << b;
        if (range) {
            ASSERT_EQ(range->min, plainLo) << a << ".." << b;
            ASSERT_EQ(range->max, plainHi) << a << ".." << b;
        }
    }
    double plainLo = 0, plainHi = 0;
    const std::optional<ScopeRange> whole = snap.range(0, n - 1);
    ASSERT_TRUE(whole);
    ASSERT_TRUE(plain(0, n - 1, plainLo, plainHi));
    EXPECT_EQ(whole->min, plainLo);
    EXPECT_EQ(whole->max, plainHi);
    // Nothing finite, and past the end.
    ScopeSampleColumn empty;
    for (int i = 0; i < 40; ++i)
        empty.push_back(i % 2 ? std::nan("") : inf);
    EXPECT_FALSE(empty.snapshot().range(0, 39));
    EXPECT_FALSE(snap.range(n, n + 5));
}
