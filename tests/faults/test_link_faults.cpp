// The link against a controller that misbehaves: silent, garbled, cut short,
// refusing, closing; and a thousand reconnections without a lost descriptor.
#include "SimProcess.h"
#include "VX_Ports.h"
#include "VX_Prod.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <chrono>
#include <cmath>
#include <dirent.h>
#include <sys/socket.h>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The descriptors the link could own: all open ones but Unix sockets (the C
// library opens one to /dev/log at the link's first trace, where that exists)
// and the listing's own.
int OpenDescriptors()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const int fd = std::atoi(entry->d_name);
        sockaddr_storage local{};
        socklen_t size = sizeof local;
        const bool unixSocket = getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0
                                && local.ss_family == AF_UNIX;
        count += fd != dirfd(dir) && !unixSocket;
    }
    closedir(dir);
    return count;
}

struct Flags
{
    int result = -2;
    int f[8] = {-5, -5, -5, -5, -5, -5, -5, -5};
};

Flags ReadFlags()
{
    Flags r;
    r.result = VXIF_ReadRobotFlags(&r.f[0], &r.f[1], &r.f[2], &r.f[3], &r.f[4], &r.f[5], &r.f[6], &r.f[7]);
    return r;
}

// Rows the simulator makes carry whole milliseconds since it started, one
// apart; a row cut from misframed bytes does not.
void ExpectRealRows(const std::vector<_ST_ReadScopeData>& rows, const char* what)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double t = rows[i].time;
        ASSERT_TRUE(std::isfinite(t) && t >= 0 && t < 1e9 && t == std::floor(t))
            << what << ": row " << i << " has time " << t;
        if (i > 0) {
            ASSERT_GT(t, rows[i - 1].time) << what << ": row " << i;
        }
    }
}

std::vector<_ST_ReadScopeData> Sample(int fetches, std::chrono::milliseconds gap)
{
    std::vector<_ST_ReadScopeData> rows;
    for (int i = 0; i < fetches; ++i) {
        double cpu = 0;
        std::uint32_t memory = 0;
        std::vector<_ST_ReadScopeData> batch;
        EXPECT_EQ(VX_ReadScopeData(&cpu, &memory, &batch), 0);
        EXPECT_LE(batch.size(), 100u * 3);
        rows.insert(rows.end(), batch.begin(), batch.end());
        std::this_thread::sleep_for(gap);
    }
    return rows;
}

// Fetches until at least `wanted` rows came (bounded): how long the
// controller's rows take to flow depends on the machine's load.
std::vector<_ST_ReadScopeData> SampleAtLeast(std::size_t wanted)
{
    std::vector<_ST_ReadScopeData> rows;
    for (const auto end = Clock::now() + 30s; rows.size() < wanted && Clock::now() < end;) {
        const auto batch = Sample(1, 20ms);
        rows.insert(rows.end(), batch.begin(), batch.end());
    }
    return rows;
}

void Connect(const vxtest::SimProcess& sim)
{
    VXRPC_InitClient(sim.address(), vx::kRpcPort, vx::kCommandPort);
    VX_InitDashboardClient(sim.address());
}

} // namespace

TEST(ControllerFaults, RpcThatNeverAnswersFreesTheCallerWithinTheTimeOut)
{
    vxtest::SimProcess sim("127.0.5.1", {"--rpc-mode", "silent"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    Connect(sim);
    int a[6] = {1, 1, 1, 1, 1, 1};
    const auto t0 = Clock::now();
    EXPECT_EQ(VXRPC_ReadCurEncode(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5]), -1);
    const auto took = Clock::now() - t0;
    // Bounded, not punctual: a loaded machine may hand the caller back late.
    EXPECT_LT(took, std::chrono::milliseconds(2 * vx::kRpcCallTimeoutMs));
    EXPECT_GE(took, std::chrono::milliseconds(vx::kRpcCallTimeoutMs) - 500ms)
        << "the call gave up before the controller had its time";
    // The controller answers again: the next call succeeds at once.
    ASSERT_TRUE(sim.command("rpc-mode normal"));
    EXPECT_EQ(VXRPC_ReadCurEncode(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5]), 0);
}

struct PortFault
{
    const char* mode;
};

class GarbledPorts : public ::testing::TestWithParam<PortFault>
{
};

TEST_P(GarbledPorts, EveryCallFailsCleanlyAndTheLinkRecovers)
{
    const std::string mode = GetParam().mode;
    const std::string address = mode == "garbage" ? "127.0.5.2" : "127.0.5.3";
    // The dashboard answers come in pieces up to 8 ms apart, so that late
    // pieces of a garbled answer share a fetch with the sound ones after it.
    vxtest::SimProcess sim(address,
                           {"--rpc-mode", mode, "--cmd-mode", mode, "--dash-mode", mode, "--dash-cuts", "7:8"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    Connect(sim);
    ASSERT_TRUE(VX_IsConnectDashboard());

    int a[7] = {};
    EXPECT_EQ(VXRPC_ReadVersion(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6]), -1);
    EXPECT_EQ(VXRPC_ReadMachineOrigin(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5]), -1);
    EXPECT_EQ(VX_StartScript("MOVJ P1\r\n"), -1);

    // A cut reply may still carry the "OK" status; the flags it lacks stay.
    const Flags flags = ReadFlags();
    if (mode == "garbage") {
        EXPECT_NE(flags.result, 0) << "a garbled state reply is no success";
    }
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(flags.f[k], -5) << "flag " << k + 1 << " set from a garbled reply";

    std::vector<int> indexes{49, 50, 61};
    EXPECT_EQ(VX_SetScopeIndexs(indexes), 0);
    const auto rows = Sample(20, 15ms);
    ExpectRealRows(rows, mode.c_str());
    if (mode == "garbage") {
        EXPECT_TRUE(rows.empty());
    }
    EXPECT_TRUE(VX_IsConnectDashboard());

    // Back to a sound controller on the same connections.
    for (const char* port : {"rpc-mode normal", "cmd-mode normal", "dash-mode normal"})
        ASSERT_TRUE(sim.command(port));
    EXPECT_EQ(VXRPC_ReadVersion(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6]), 0);
    Flags sound;
    // A late garbled reply may still be on its way, and a sound one miss the
    // link's short wait on a loaded machine: a later read takes it.
    for (const auto end = Clock::now() + 20s; sound.result != 0 && Clock::now() < end;)
        sound = ReadFlags();
    EXPECT_EQ(sound.result, 0);
    EXPECT_EQ(VX_SetScopeIndexs(indexes), 0);
    const auto after = SampleAtLeast(50);
    ExpectRealRows(after, "after recovery");
    EXPECT_GE(after.size(), 50u);
}

INSTANTIATE_TEST_SUITE_P(Modes, GarbledPorts, ::testing::Values(PortFault{"garbage"}, PortFault{"truncated"}),
                         [](const ::testing::TestParamInfo<PortFault>& info) { return std::string(info.param.mode); });

TEST(ControllerFaults, RefusedConnectionsFailFastOnEveryPort)
{
    vxtest::SimProcess sim("127.0.5.4", {"--no-rpc", "--no-cmd", "--no-dash"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const auto t0 = Clock::now();
    VXRPC_InitClient(sim.address(), vx::kRpcPort, vx::kCommandPort);
    EXPECT_NE(VX_InitDashboardClient(sim.address()), 0);
    EXPECT_FALSE(VX_IsConnectDashboard());
    int a[6] = {};
    EXPECT_EQ(VXRPC_ReadCurEncode(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5]), -1);
    EXPECT_EQ(ReadFlags().result, 20007);
    double cpu = -1;
    std::uint32_t memory = 3;
    std::vector<_ST_ReadScopeData> rows;
    EXPECT_EQ(VX_ReadScopeData(&cpu, &memory, &rows), 0);
    EXPECT_EQ(cpu, -1);
    EXPECT_EQ(memory, 3u);
    EXPECT_TRUE(rows.empty());
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(vx::kRpcCallTimeoutMs))
        << "a refusal must not wait out a time-out";
}

TEST(ControllerFaults, DashboardClosedDuringARunThenConfirmedAgain)
{
    vxtest::SimProcess sim("127.0.5.5");
    ASSERT_TRUE(sim.ok()) << sim.error();
    Connect(sim);
    std::vector<int> indexes{49, 50};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    ASSERT_FALSE(SampleAtLeast(1).empty());

    ASSERT_TRUE(sim.command("close-dash"));
    bool noticed = false;
    for (const auto end = Clock::now() + 20s; !noticed && Clock::now() < end;)
        noticed = !VX_IsConnectDashboard();
    EXPECT_TRUE(noticed);
    const auto during = Sample(5, 10ms);
    EXPECT_TRUE(during.empty());

    // Confirming the address again opens a new connection; the scope
    // subscribes again and samples flow.
    ASSERT_EQ(VX_InitDashboardClient(sim.address()), 0);
    EXPECT_TRUE(VX_IsConnectDashboard());
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    const auto again = SampleAtLeast(100);
    ExpectRealRows(again, "after reconnecting");
    EXPECT_GE(again.size(), 100u);
}

TEST(ControllerFaults, AThousandConnectionsLeaveNoDescriptorBehind)
{
    vxtest::SimProcess sim("127.0.5.6");
    ASSERT_TRUE(sim.ok()) << sim.error();
    // One round first: the RPC client and its transport make their one-time
    // allocations (and descriptors) here, not inside the count.
    Connect(sim);
    int a[6] = {};
    ASSERT_EQ(VXRPC_ReadCurEncode(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5]), 0);
    const int before = OpenDescriptors();
    ASSERT_GT(before, 0);

    // A hang detector only, well inside the suite's time-out.
    const auto deadline = Clock::now() + 250s;
    for (int cycle = 0; cycle < 1000 && Clock::now() < deadline; ++cycle) {
        VXRPC_InitClient(sim.address(), vx::kRpcPort, vx::kCommandPort);
        ASSERT_EQ(VX_InitDashboardClient(sim.address()), 0) << "cycle " << cycle;
        if (cycle % 50 == 0) {
            ASSERT_EQ(VXRPC_ReadCurEncode(&a[0], &a[1], &a[2], &a[3], &a[4], &a[5]), 0) << cycle;
            // A reply may miss the link's short wait (more often on a loaded
            // machine); it is then taken by a later read.
            Flags flags;
            for (const auto end = Clock::now() + 20s; flags.result != 0 && Clock::now() < end;)
                flags = ReadFlags();
            EXPECT_EQ(flags.result, 0) << cycle;
        }
        if (cycle % 100 == 0) {
            ASSERT_TRUE(sim.command("close-dash")); // also a close from the controller's side
        }
    }
    ASSERT_LT(Clock::now(), deadline) << "the cycles hung";
    const int after = OpenDescriptors();
    std::printf("open descriptors: %d before the cycles, %d after 1000 cycles\n", before, after);
    EXPECT_EQ(after, before);
}
