// Turning one dashboard reply of 100 rows into rows, against memcpy of the
// same 29,600 row bytes: the decoding should cost one copy of the rows.
#include "VX_Protocol.h"
#include "VX_ScopeStream.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A reply as the controller sends it: 32 header bytes, then 100 rows of a
// rising time stamp and 36 values.
std::string makeReply(std::uint32_t rows)
{
    std::string reply(vx::kReplyRowsOffset + rows * vx::kRowSize, '\0');
    const double load = 12.5;
    const std::uint32_t memory = 2048;
    std::memcpy(&reply[vx::kReplyCpuLoadOffset], &load, sizeof load);
    std::memcpy(&reply[vx::kReplyMemoryOffset], &memory, sizeof memory);
    std::memcpy(&reply[vx::kReplyRowCountOffset], &rows, sizeof rows);
    for (std::uint32_t i = 0; i < rows; ++i) {
        _ST_ReadScopeData row{};
        row.time = 1000.0 + i;
        for (int k = 0; k < 36; ++k)
            row.values[k] = i * 0.5 + k;
        std::memcpy(&reply[vx::kReplyRowsOffset + i * vx::kRowSize], &row, sizeof row);
    }
    return reply;
}

// The collector's pattern: one rows vector, emptied before every fetch, and
// one stream reader per connection that meets each reply at its start. The
// same reply is fed again and again, so the reader starts a new stream each
// time: a stream whose stamps do not rise is broken on purpose.
void BM_ScopeStreamRead100Rows(benchmark::State& state)
{
    const std::string reply = makeReply(100);
    std::vector<_ST_ReadScopeData> rows;
    rows.reserve(100);
    vx::ScopeStreamReader reader;
    double load = 0;
    std::uint32_t memory = 0;
    for (auto _ : state) {
        rows.clear();
        reader.Reset();
        const vx::ScopeStreamResult r = reader.Read(reply, &load, &memory, &rows);
        benchmark::DoNotOptimize(r.appended);
        benchmark::DoNotOptimize(rows.data());
        benchmark::ClobberMemory();
    }
    if (rows.size() != 100 || !reader.AtBoundary())
        state.SkipWithError("the reply did not give 100 rows");
    state.SetBytesProcessed(state.iterations() * 100 * int64_t(vx::kRowSize));
}
BENCHMARK(BM_ScopeStreamRead100Rows);

void BM_Memcpy100Rows(benchmark::State& state)
{
    const std::string reply = makeReply(100);
    std::vector<_ST_ReadScopeData> rows(100);
    for (auto _ : state) {
        std::memcpy(rows.data(), reply.data() + vx::kReplyRowsOffset, 100 * vx::kRowSize);
        benchmark::DoNotOptimize(rows.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 100 * int64_t(vx::kRowSize));
}
BENCHMARK(BM_Memcpy100Rows);

// The vector grown by resize (which zero-fills) and then filled by memcpy:
// the two passes an append through resize costs.
void BM_ResizeAndMemcpy100Rows(benchmark::State& state)
{
    const std::string reply = makeReply(100);
    std::vector<_ST_ReadScopeData> rows;
    rows.reserve(100);
    for (auto _ : state) {
        rows.clear();
        rows.resize(100);
        std::memcpy(rows.data(), reply.data() + vx::kReplyRowsOffset, 100 * vx::kRowSize);
        benchmark::DoNotOptimize(rows.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 100 * int64_t(vx::kRowSize));
}
BENCHMARK(BM_ResizeAndMemcpy100Rows);

} // namespace

BENCHMARK_MAIN();
