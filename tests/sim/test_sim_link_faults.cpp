// The link library against a misbehaving controller: closed, silent, slow,
// split, garbled and truncated answers on each port, and refused ports.
// Each case runs its own simulator on 127.0.1.30 .. 127.0.1.49.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "SimLinkHelpers.h"
#include "SimModel.h"
#include "SimProcess.h"
#include "VX_Ports.h"
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
        VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort);
        dashInit = VX_InitDashboardClient(address);
    }
};

// The dashboard stream's counts since the last VX_InitDashboardClient.
struct StreamCounts
{
    uint64_t broken = 0;
    uint64_t overCap = 0;
};

StreamCounts streamCounts()
{
    StreamCounts c;
    VX_ReadScopeStreamCounts(&c.broken, &c.overCap);
    return c;
}

// The rows of many fetches, checked as they come: each is the simulator's
// row for its time stamp byte for byte, the stamps rise, and a stamp is only
// ever skipped because the 100-row cap passed its row over.
class RowAccount
{
public:
    explicit RowAccount(std::vector<int> indexes) : m_indexes(std::move(indexes)) {}

    // One fetch; false when a row was wrong (reported as a failure when
    // `strict`).
    bool fetch(bool strict = true)
    {
        std::vector<_ST_ReadScopeData> rows;
        double cpu = 0;
        uint32_t mem = 0;
        const uint64_t before = streamCounts().overCap;
        EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
        const uint64_t added = streamCounts().overCap - before;
        if (added > 0)
            m_lastCapped = added;
        for (const _ST_ReadScopeData& row : rows) {
            const _ST_ReadScopeData expected = modelRow(row.time);
            if (std::memcmp(&row, &expected, sizeof row) != 0) {
                if (strict)
                    ADD_FAILURE() << "row " << m_rows << " (stamp " << row.time << ") is not the controller's";
                return false;
            }
            if (m_rows > 0 && !(row.time > m_last)) {
                if (strict)
                    ADD_FAILURE() << "stamp " << row.time << " after " << m_last;
                return false;
            }
            if (m_rows > 0)
                m_skipped += static_cast<uint64_t>(row.time - m_last) - 1;
            m_last = row.time;
            ++m_rows;
        }
        return true;
    }

    // Every skipped stamp is a row over the cap; only the last capped
    // reply's rows may still wait for a later row to show their gap.
    void expectNoRowLost() const
    {
        const uint64_t overCap = streamCounts().overCap;
        EXPECT_LE(m_skipped, overCap) << "rows lost beyond those the cap passed over";
        EXPECT_LE(overCap - std::min(overCap, m_skipped), m_lastCapped);
    }

    size_t rows() const { return m_rows; }

private:
    _ST_ReadScopeData modelRow(double time) const
    {
        _ST_ReadScopeData row{};
        row.time = time;
        const auto k = static_cast<int64_t>(time);
        for (size_t i = 0; i < m_indexes.size(); ++i) {
            const int index = m_indexes[i];
            row.values[i] = index >= zps::kFirstChannel && index <= zps::kLastChannel ? zps::channelValue(index, k) : 0.0;
        }
        return row;
    }

    std::vector<int> m_indexes;
    size_t m_rows = 0;
    double m_last = 0;
    uint64_t m_skipped = 0;
    uint64_t m_lastCapped = 0;
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
    EXPECT_GT(streamCounts().broken, 0u) << "each such reply breaks the stream";
    EXPECT_TRUE(VX_IsConnectDashboard());
}

TEST(LinkFaults, TruncatedDashboardRepliesNeverHangAndANewConnectionRunsWhole)
{
    // Replies that stop short of their rows: the next reply's bytes stand
    // where rows were due, and the link looks for that reply again. Whatever
    // comes, a fetch returns at once, and a new connection starts a whole
    // stream again.
    LinkedSim s("127.0.1.32", {"--dash-mode", "truncated"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {49, 50, 3};
    VX_SetScopeIndexs(indexes);
    for (int i = 0; i < 20; ++i) {
        double cpu = 0;
        uint32_t mem = 0;
        std::vector<_ST_ReadScopeData> rows;
        const auto t0 = Clock::now();
        EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
        EXPECT_LT(Clock::now() - t0, 500ms);
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(s.sim.command("dash-mode normal"));
    ASSERT_EQ(VX_InitDashboardClient("127.0.1.32"), 0);
    EXPECT_EQ(streamCounts().broken, 0u) << "a new connection counts afresh";
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    RowAccount account(indexes);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(account.fetch());
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GE(account.rows(), 100u);
    account.expectNoRowLost();
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
    // Each reply comes in pieces of 1,000 bytes 1 ms apart. However the
    // fetches fall against the pieces, every row arrives whole and once;
    // stamps are skipped only where a reply held more than the 100 rows a
    // fetch takes.
    LinkedSim s("127.0.1.34", {"--dash-split", "1000:1", "--backlog-ms", "10000"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {61, 175};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    RowAccount account(indexes);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(account.fetch());
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 4 * 25));
    }
    EXPECT_GE(account.rows(), 50u);
    account.expectNoRowLost();
    EXPECT_EQ(streamCounts().broken, 0u);
}

TEST(LinkFaults, RepliesCutAtRandomPointsGiveEveryRowOnce)
{
    // The simulator cuts every answer (the subscription's too) at up to four
    // random points, inside headers, into 1-byte pieces or anywhere, with
    // pauses of up to 60 ms between the pieces; the fetches come at the
    // scope page's pace.
    const std::string seed = "20261208";
    LinkedSim s("127.0.1.45", {"--dash-cuts", seed + ":60", "--backlog-ms", "10000"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {49, 50, 51, 52, 53, 54, 3, 175, 0, 999};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    RowAccount account(indexes);
    const auto end = Clock::now() + 4s;
    while (Clock::now() < end) {
        ASSERT_TRUE(account.fetch()) << "seed " << seed;
        std::this_thread::sleep_for(51ms);
    }
    ASSERT_TRUE(s.sim.command("dash-cuts 0:0"));
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(account.fetch()) << "seed " << seed;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GE(account.rows(), 1000u) << "seed " << seed;
    account.expectNoRowLost();
    EXPECT_EQ(streamCounts().broken, 0u) << "seed " << seed;
}

TEST(LinkFaults, RepliesInSlowPiecesNeverHangOrCrashTheLink)
{
    // Pieces 60 ms apart outlast every exchange: each fetch sees a fragment,
    // which the next fetches finish.
    LinkedSim s("127.0.1.35", {"--dash-split", "700:60"});
    ASSERT_TRUE(s.sim.ok()) << s.sim.error();
    ASSERT_EQ(s.dashInit, 0);
    std::vector<int> indexes = {49};
    VX_SetScopeIndexs(indexes);
    RowAccount account(indexes);
    for (int i = 0; i < 25; ++i) {
        const auto t0 = Clock::now();
        ASSERT_TRUE(account.fetch());
        EXPECT_LT(Clock::now() - t0, 1s);
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_GT(account.rows(), 0u);
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
