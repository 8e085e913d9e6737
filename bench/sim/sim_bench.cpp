// zps-sim's hot paths: computing one sample of all 182 channels (done 1000
// times a second), building a scope reply, and framing requests.
#include <benchmark/benchmark.h>

#include <vector>

#include "SimModel.h"
#include "SimProtocol.h"

namespace {

void BM_ComputeSample(benchmark::State& state)
{
    double out[zps::kChannelSlots];
    int64_t k = 123456;
    for (auto _ : state) {
        zps::computeSample(k++, {}, out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComputeSample);

void BM_BuildScopeReply(benchmark::State& state)
{
    const auto rows = static_cast<uint32_t>(state.range(0));
    std::vector<double> values(rows * 37, 1.5);
    for (auto _ : state) {
        std::string reply = zps::buildScopeReply(12.5, 262144, values.data(), rows);
        benchmark::DoNotOptimize(reply);
    }
    state.SetBytesProcessed(state.iterations() * (32 + rows * 296));
}
BENCHMARK(BM_BuildScopeReply)->Arg(51)->Arg(100)->Arg(2000);

void BM_FrameDashRequests(benchmark::State& state)
{
    zps::DashRequest r;
    r.command = 2;
    std::string stream;
    for (int i = 0; i < 64; ++i)
        stream += zps::encodeDashRequest(r);
    for (auto _ : state) {
        zps::DashFramer f;
        f.feed(stream.data(), stream.size());
        int n = 0;
        while (f.next())
            ++n;
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_FrameDashRequests);

} // namespace

BENCHMARK_MAIN();
