// Bounded retries around the link library's scope and flag calls. The link
// waits only microseconds for a reply; one that misses the wait is read by
// the next call, so tests poll until the answer they expect arrives.
#pragma once

#include <chrono>
#include <thread>
#include <vector>

#include "SimModel.h"
#include "VX_Prod.h"

namespace simlink {

struct Flags
{
    int result = -12345;
    int f[8] = {-7, -7, -7, -7, -7, -7, -7, -7};
};

inline Flags readFlags()
{
    Flags r;
    r.result = VXIF_ReadRobotFlags(&r.f[0], &r.f[1], &r.f[2], &r.f[3], &r.f[4], &r.f[5], &r.f[6], &r.f[7]);
    return r;
}

// Reads the flags until `accept` holds or the time-out passes; returns the
// last answer.
template <typename Accept>
Flags readFlagsUntil(Accept accept, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    Flags r = readFlags();
    while (!accept(r) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        r = readFlags();
    }
    return r;
}

struct Fetch
{
    double cpu = -1.0;
    uint32_t memory = 12345;
    std::vector<_ST_ReadScopeData> rows;
    int calls = 0;
};

// Fetches until a call brings rows (or the time-out); the rows of that one
// call, so they come from one reply.
inline Fetch fetchRows(std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    Fetch f;
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++f.calls;
        VX_ReadScopeData(&f.cpu, &f.memory, &f.rows);
    } while (f.rows.empty() && std::chrono::steady_clock::now() < end);
    return f;
}

// How a row delivered by the link relates to the simulator's model. Rows
// of an earlier subscription are Foreign (nothing matches). A Cut row -
// stamp and first value right, later values wrong - would be a row finished
// with bytes that are not its own.
enum class RowFit { Whole, Cut, Foreign };

inline RowFit rowFit(const _ST_ReadScopeData& row, const std::vector<int>& indexes)
{
    if (!(row.time >= 0 && row.time < 1e10) || row.time != static_cast<double>(static_cast<int64_t>(row.time)))
        return RowFit::Foreign;
    const auto k = static_cast<int64_t>(row.time);
    if (indexes.empty() || row.values[0] != zps::channelValue(indexes[0], k))
        return RowFit::Foreign;
    for (size_t i = 1; i < indexes.size(); ++i)
        if (row.values[i] != zps::channelValue(indexes[i], k))
            return RowFit::Cut;
    return RowFit::Whole;
}

template <typename Pred> bool eventually(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace simlink
