// The link library against a misbehaving controller: closed, silent, slow,
// split, garbled and truncated answers on each port, and refused ports.
// Each case runs its own simulator on 127.0.1.30 .. 127.0.1.49.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "SimLinkHelpers.h"
#include "SimModel.h"
#include "SimProcess.h"
#include "VX_Prod.h"

using namespace std::chrono_literals;
using namespace simlink;
using Clock = std::chrono::steady_clock;

namespace {

// Starts a simulator with the given faults and points the link at it.
struct LinkedSim
{
    vxtest::SimProcess sim;
    int dashInit = -1;
    LinkedSim(const std::string& address, std::vector<std::string> options) : sim(address, std::move(options))
    {
        if (!sim.ok())
            return;
        VXRPC_InitClient(address, 20000, 10003);
        dashInit = VX_InitDashboardClient(address);
    }
};

bool untouched(const Flags& f)
{
    for (int v : f.f)
        if (v != -7)
            return false;
    return true;
}

} // namespace

TEST(LinkFaults, DashboardClosedByTheControllerShowsAsDisconnected)
{
    LinkedSim s("127.0.1.30", {"--dash-close-after", "300"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    EXPECT_TRUE(VX_IsConnectDashboard());
    const auto t0 = Clock::now();
    EXPECT_TRUE(eventually([] { return !VX_IsConnectDashboard(); }, 5s));
    EXPECT_GE(Clock::now() - t0, 200ms);
    EXPECT_FALSE(VX_IsConnectDashboard());
}

TEST(LinkFaults, GarbageDashboardRepliesAppendNoRows)
{
    LinkedSim s("127.0.1.31", {"--dash-mode", "garbage"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {49, 50};
    VX_SetScopeIndexs(indexes);
    std::vector<_ST_ReadScopeData> rows;
    for (int i = 0; i < 20; ++i) {
        double cpu = 0;
        uint32_t mem = 0;
        EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
        std::this_thread::sleep_for(15ms);
    }
    EXPECT_TRUE(rows.empty()) << "the reply announces 4 billion rows and holds none";
    EXPECT_TRUE(VX_IsConnectDashboard());
}

TEST(LinkFaults, TruncatedDashboardRepliesGiveOnlyWholeRows)
{
    LinkedSim s("127.0.1.32", {"--dash-mode", "truncated"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {49, 50, 3};
    VX_SetScopeIndexs(indexes);
    size_t whole = 0;
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(30ms);
        double cpu = 0;
        uint32_t mem = 0;
        std::vector<_ST_ReadScopeData> rows;
        EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
        EXPECT_LE(rows.size(), 100u);
        for (size_t r = 0; r < rows.size(); ++r) {
            const RowFit fit = rowFit(rows[r], indexes);
            ASSERT_NE(fit, RowFit::Cut) << "a cut row was taken at t=" << rows[r].time;
            whole += fit == RowFit::Whole;
        }
    }
    EXPECT_GT(whole, 0u) << "the rows wholly present should be taken";
}

TEST(LinkFaults, SilentDashboardLeavesTheOutputsAlone)
{
    LinkedSim s("127.0.1.33", {"--dash-mode", "silent"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {49};
    EXPECT_EQ(VX_SetScopeIndexs(indexes), 0);
    for (int i = 0; i < 5; ++i) {
        double cpu = -3;
        uint32_t mem = 77;
        std::vector<_ST_ReadScopeData> rows;
        const auto t0 = Clock::now();
        EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
        EXPECT_LT(Clock::now() - t0, 500ms);
        EXPECT_EQ(cpu, -3);
        EXPECT_EQ(mem, 77u);
        EXPECT_TRUE(rows.empty());
    }
    EXPECT_TRUE(VX_IsConnectDashboard()) << "silence is no close";
}

TEST(LinkFaults, RepliesInPiecesOneMillisecondApartArriveWhole)
{
    LinkedSim s("127.0.1.34", {"--dash-split", "1000:1"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {61, 175};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    fetchRows();
    std::this_thread::sleep_for(80ms);
    const Fetch f = fetchRows();
    ASSERT_GE(f.rows.size(), 50u) << "a reply of ~80 rows in 24 pieces";
    for (size_t r = 0; r < f.rows.size(); ++r) {
        ASSERT_EQ(rowFit(f.rows[r], indexes), RowFit::Whole) << r;
        if (r > 0) {
            ASSERT_EQ(f.rows[r].time, f.rows[r - 1].time + 1);
        }
    }
}

TEST(LinkFaults, RepliesInSlowPiecesNeverHangOrCrashTheLink)
{
    // Pieces 60 ms apart outlast every exchange: each fetch sees a fragment,
    // and the next fetch takes the rest as if it were a reply of its own.
    LinkedSim s("127.0.1.35", {"--dash-split", "700:60"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {49};
    VX_SetScopeIndexs(indexes);
    std::vector<_ST_ReadScopeData> rows;
    for (int i = 0; i < 25; ++i) {
        double cpu = 0;
        uint32_t mem = 0;
        const auto t0 = Clock::now();
        EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
        EXPECT_LT(Clock::now() - t0, 1s);
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_LE(rows.size(), 25u * 100u);
    EXPECT_TRUE(VX_IsConnectDashboard());
}

TEST(LinkFaults, GarbledCommandRepliesGive20007)
{
    LinkedSim s("127.0.1.36", {"--cmd-mode", "garbage"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    for (int i = 0; i < 10; ++i) {
        const Flags f = readFlags();
        EXPECT_EQ(f.result, 20007);
        EXPECT_TRUE(untouched(f));
        std::this_thread::sleep_for(10ms);
    }
}

TEST(LinkFaults, TruncatedCommandRepliesLeaveTheFlagsAlone)
{
    // Half the reply: "ReadRobotState,OK," - an OK status without values.
    LinkedSim s("127.0.1.37", {"--cmd-mode", "truncated"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    bool sawOk = false;
    for (int i = 0; i < 20; ++i) {
        const Flags f = readFlags();
        EXPECT_TRUE(f.result == 0 || f.result == 20007) << f.result;
        sawOk |= f.result == 0;
        EXPECT_TRUE(untouched(f));
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(sawOk);
}

TEST(LinkFaults, SilentAndSlowCommandPort)
{
    LinkedSim s("127.0.1.38", {"--cmd-mode", "silent"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    const auto t0 = Clock::now();
    const Flags f = readFlags();
    EXPECT_LT(Clock::now() - t0, 200ms);
    EXPECT_EQ(f.result, 20007);
    EXPECT_TRUE(untouched(f));

    // A late reply is picked up by a later call. (The simulator first gets
    // the time to drop the request above while still silent.)
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(s.sim.command("cmd-mode normal"));
    ASSERT_TRUE(s.sim.command("cmd-delay 100"));
    EXPECT_EQ(readFlags().result, 20007);
    const Flags late = readFlagsUntil([](const Flags& r) { return r.result == 0; }, 3s);
    EXPECT_EQ(late.result, 0);
    EXPECT_EQ(late.f[0], 1);
}

TEST(LinkFaults, XmlRpcFailuresAreMinusOne)
{
    LinkedSim s("127.0.1.39", {});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    for (const char* mode : {"garbage", "truncated", "wrong-shape"}) {
        ASSERT_TRUE(s.sim.command(std::string("rpc-mode ") + mode));
        int v[7];
        EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), -1) << mode;
        EXPECT_EQ(VXRPC_ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1) << mode;
        EXPECT_EQ(VXRPC_ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1) << mode;
        // Methods whose answer is not read only fail when the answer is no
        // XML-RPC at all.
        const int expected = std::string(mode) == "wrong-shape" ? 0 : -1;
        EXPECT_EQ(VXRPC_SetHomeEncode(1, 2, 3, 4, 5, 6), expected) << mode;
        EXPECT_EQ(VX_StartScript("x"), expected) << mode;
    }
    ASSERT_TRUE(s.sim.command("rpc-mode normal"));
    ASSERT_TRUE(s.sim.command("rpc-delay 400"));
    int v[7];
    const auto t0 = Clock::now();
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0) << "slow but in time";
    EXPECT_GE(Clock::now() - t0, 350ms);
}

TEST(LinkFaults, SilentXmlRpcFailsWithinTheTimeOut)
{
    LinkedSim s("127.0.1.40", {"--rpc-mode", "silent"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    int v[7];
    const auto t0 = Clock::now();
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), -1);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(vx::kRpcCallTimeoutMs + 3000));
    ASSERT_TRUE(s.sim.command("rpc-mode normal"));
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0) << "recovers";
}

TEST(LinkFaults, RefusedPorts)
{
    {
        LinkedSim s("127.0.1.42", {"--no-dash"});
        ASSERT_TRUE(s.sim.ok()) << s.sim.error();
        EXPECT_EQ(s.dashInit, ECONNREFUSED);
        EXPECT_FALSE(VX_IsConnectDashboard());
        std::vector<int> indexes = {49};
        EXPECT_EQ(VX_SetScopeIndexs(indexes), 0);
        double cpu = -3;
        uint32_t mem = 77;
        std::vector<_ST_ReadScopeData> rows;
        EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
        EXPECT_EQ(cpu, -3);
        EXPECT_TRUE(rows.empty());
        int v[7];
        EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0) << "other ports serve";
    }
    {
        LinkedSim s("127.0.1.43", {"--no-cmd"});
        ASSERT_TRUE(s.sim.ok()) << s.sim.error();
        EXPECT_EQ(s.dashInit, 0);
        const Flags f = readFlags();
        EXPECT_EQ(f.result, 20007);
        EXPECT_TRUE(untouched(f));
    }
    {
        LinkedSim s("127.0.1.44", {"--no-rpc"});
        ASSERT_TRUE(s.sim.ok()) << s.sim.error();
        int v[7];
        const auto t0 = Clock::now();
        EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), -1);
        EXPECT_EQ(VX_StartScript("x"), -1);
        EXPECT_LT(Clock::now() - t0, 3s) << "a refused connection fails at once";
    }
}
