// The link library's twelve exports against the simulator on 127.0.1.20:
// XML-RPC values and scripts, robot flags, scope subscription and rows,
// the link check, and the exports used from two threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "SimLinkHelpers.h"
#include "SimModel.h"
#include "SimProcess.h"
#include "VX_Ports.h"
#include "VX_Prod.h"

using namespace std::chrono_literals;
using namespace simlink;

namespace {

const std::string kAddress = "127.0.1.20";
std::string scriptLog() { return "/tmp/sim_link_test_script_" + std::to_string(::getpid()) + ".txt"; }

vxtest::SimProcess* sim = nullptr;

class SimEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        std::remove(scriptLog().c_str());
        sim = new vxtest::SimProcess(kAddress, {"--log-scripts", scriptLog()});
        ASSERT_TRUE(sim->ok()) << sim->error();
        ASSERT_EQ(VXRPC_InitClient(kAddress, vx::kRpcPort, vx::kCommandPort), 0);
        ASSERT_EQ(VX_InitDashboardClient(kAddress), 0);
    }
    void TearDown() override
    {
        delete sim;
        sim = nullptr;
        std::remove(scriptLog().c_str());
    }
};

const auto* const env = ::testing::AddGlobalTestEnvironment(new SimEnvironment);

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::array<int, 6> readOrigin(int& result)
{
    std::array<int, 6> o{};
    o.fill(-99);
    result = VXRPC_ReadMachineOrigin(&o[0], &o[1], &o[2], &o[3], &o[4], &o[5]);
    return o;
}

std::array<int, 6> readEncoders(int& result)
{
    std::array<int, 6> e{};
    e.fill(-99);
    result = VXRPC_ReadCurEncode(&e[0], &e[1], &e[2], &e[3], &e[4], &e[5]);
    return e;
}

} // namespace

TEST(LinkRpc, ReadsTheControllerVersions)
{
    int v[7] = {-1, -1, -1, -1, -1, -1, -1};
    ASSERT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0);
    EXPECT_EQ(std::vector<int>(v, v + 7), (std::vector<int>{5, 1, 2, 4, 7, 3, 0x0052A3F1}));
}

TEST(LinkRpc, SetHomeEncodeChangesTheMachineOrigin)
{
    int r = -2;
    const auto before = readOrigin(r);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(before, zps::kFactoryHome);

    const std::array<std::array<int, 6>, 3> homes = {{{1, -2, 3, -4, 5, -6},
                                                      {2147483647, -2147483647 - 1, 0, 0, 0, 7},
                                                      {123456, 234567, 345678, 456789, 567890, 678901}}};
    for (const auto& h : homes) {
        ASSERT_EQ(VXRPC_SetHomeEncode(h[0], h[1], h[2], h[3], h[4], h[5]), 0);
        EXPECT_EQ(readOrigin(r), h);
        EXPECT_EQ(r, 0);
    }
    const auto& f = zps::kFactoryHome;
    ASSERT_EQ(VXRPC_SetHomeEncode(f[0], f[1], f[2], f[3], f[4], f[5]), 0);
}

TEST(LinkRpc, CurrentEncodersFollowTheMovingArm)
{
    int r = -2;
    const auto first = readEncoders(r);
    ASSERT_EQ(r, 0);
    std::this_thread::sleep_for(200ms);
    const auto second = readEncoders(r);
    ASSERT_EQ(r, 0);
    int moved = 0;
    for (int j = 0; j < 6; ++j) {
        // Within +-200 degrees of the factory origin ...
        EXPECT_LT(std::abs(static_cast<double>(first[j]) - zps::kFactoryHome[j]), 200 * zps::kCountsPerDegree) << j;
        // ... and no faster than 500 deg/s.
        EXPECT_LT(std::abs(static_cast<double>(second[j]) - first[j]), 0.2 * 500 * zps::kCountsPerDegree + 1e6) << j;
        moved += first[j] != second[j];
    }
    EXPECT_GE(moved, 5);
}

TEST(LinkRpc, RatioInfoIsNotOfferedUnderTheMethodTheLinkCalls)
{
    // The library asks "ReadMachineOrigin" for twelve ints; the controller
    // answers six, so the call fails as a shape mismatch.
    int r[12];
    for (int& v : r)
        v = -5;
    EXPECT_EQ(VXRPC_ReadRatioInfo(&r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6], &r[7], &r[8], &r[9], &r[10], &r[11]),
              -1);
}

TEST(LinkRpc, ScriptsArriveByteForByte)
{
    std::string big;
    for (int i = 0; big.size() < 200000; ++i)
        big += "MoveL(p" + std::to_string(i) + ", v=250, z=fine)\n";
    const std::vector<std::pair<const char*, std::string>> scripts = {
        {"one line", "MoveJ(home)"},
        {"lines and tabs", "def main():\n\tMoveJ(p1)\n\tWait(0.5)\nend\n"},
        {"markup characters", "if a < b && c > d: print(\"<x/>\") # 'q' ]]> &amp;"},
        {"UTF-8 text", "-- Gr\xc3\xbc\xc3\x9f" "e, \xe6\x9c\xba\xe5\x99\xa8\xe4\xba\xba \xe2\x82\xac"},
        {"Windows line ends", "line1\r\nline2\r\n"},
        {"large", big},
        {"empty", ""},
    };
    for (const auto& s : scripts) {
        ASSERT_EQ(VX_StartScript(s.second), 0) << s.first;
        EXPECT_EQ(readFile(scriptLog()), s.second) << s.first;
    }
}

TEST(LinkRpc, RefusedScriptsFailWithMinusOne)
{
    ASSERT_TRUE(sim->command("refuse-scripts on"));
    EXPECT_EQ(VX_StartScript("MoveJ(p9)"), -1);
    EXPECT_NE(readFile(scriptLog()), "MoveJ(p9)");
    ASSERT_TRUE(sim->command("refuse-scripts off"));
    EXPECT_EQ(VX_StartScript("MoveJ(p9)"), 0);
    EXPECT_EQ(readFile(scriptLog()), "MoveJ(p9)");
}

TEST(LinkCommands, RobotFlagsShowTheErrorInTheThirdFlag)
{
    const Flags normal = readFlagsUntil([](const Flags& f) { return f.result == 0 && f.f[2] == 0; });
    ASSERT_EQ(normal.result, 0);
    EXPECT_EQ(normal.f[0], 1);
    EXPECT_EQ(normal.f[1], 1);
    EXPECT_EQ(normal.f[2], 0);

    ASSERT_TRUE(sim->command("robot-error on"));
    const Flags error = readFlagsUntil([](const Flags& f) { return f.result == 0 && f.f[2] == 1; });
    EXPECT_EQ(error.result, 0);
    EXPECT_EQ(error.f[2], 1);
    EXPECT_EQ(error.f[1], 0) << "servo off while in error";

    ASSERT_TRUE(sim->command("robot-error off"));
    EXPECT_EQ(readFlagsUntil([](const Flags& f) { return f.result == 0 && f.f[2] == 0; }).f[2], 0);
}

TEST(LinkScope, RowsComeInSubscriptionOrderOneMillisecondApart)
{
    ASSERT_TRUE(VX_IsConnectDashboard());
    std::vector<int> indexes = {61, 49, 3, 175, 0, 25, 127, 999};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    fetchRows(); // drop rows of an earlier subscription still in flight
    std::this_thread::sleep_for(60ms);
    const Fetch f = fetchRows();
    ASSERT_FALSE(f.rows.empty());
    EXPECT_LE(f.rows.size(), 200u); // a late reply finished with the next: up to 100 rows of each
    EXPECT_GT(f.cpu, 0.0);
    EXPECT_LT(f.cpu, 100.0);
    EXPECT_GT(f.memory, 100000u);
    // No row is cut (see rowFit); the run of this subscription's rows is
    // checked exactly.
    size_t whole = 0;
    while (whole < f.rows.size() && rowFit(f.rows[whole], indexes) == RowFit::Whole)
        ++whole;
    ASSERT_GT(whole, 0u);
    for (size_t r = 0; r < f.rows.size(); ++r) {
        const auto& row = f.rows[r];
        ASSERT_NE(rowFit(row, indexes), RowFit::Cut) << "row " << r;
        if (r > 0 && r < whole) {
            ASSERT_EQ(row.time, f.rows[r - 1].time + 1.0) << "row " << r;
        }
        for (size_t slot = indexes.size(); r < whole && slot < 36; ++slot)
            ASSERT_EQ(row.values[slot], 0.0);
    }

    // Reversing the list reverses the columns.
    std::vector<int> reversed(indexes.rbegin(), indexes.rend());
    ASSERT_EQ(VX_SetScopeIndexs(reversed), 0);
    fetchRows();
    const Fetch g = fetchRows();
    ASSERT_FALSE(g.rows.empty());
    EXPECT_EQ(rowFit(g.rows.front(), reversed), RowFit::Whole);
}

TEST(LinkScope, AFetchTakesAtMostOneHundredRows)
{
    std::vector<int> indexes = {43};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    fetchRows();
    std::this_thread::sleep_for(400ms); // ~400 rows waiting
    Fetch f;
    for (int i = 0; i < 50 && f.rows.empty(); ++i) {
        VX_ReadScopeData(&f.cpu, &f.memory, &f.rows);
        if (f.rows.empty())
            std::this_thread::sleep_for(2ms);
    }
    // The reply of ~400 rows gives its first 100; a reply that came late
    // and was read with the next one adds up to 100 of the next one's rows.
    ASSERT_GE(f.rows.size(), 100u);
    EXPECT_LE(f.rows.size(), 200u);
    EXPECT_EQ(f.rows[99].time - f.rows.front().time, 99.0);
    if (f.rows.size() > 100) {
        EXPECT_GT(f.rows[100].time - f.rows[99].time, 1.0) << "the rows beyond 100 were dropped";
    }
}

TEST(LinkScope, MoreThanThirtySixIndexesAreRefused)
{
    std::vector<int> many(37, 49);
    EXPECT_EQ(VX_SetScopeIndexs(many), -1);
    std::vector<int> full(36, 50);
    EXPECT_EQ(VX_SetScopeIndexs(full), 0);
    fetchRows();
    const Fetch f = fetchRows();
    ASSERT_FALSE(f.rows.empty());
    EXPECT_EQ(rowFit(f.rows[0], full), RowFit::Whole) << "the refused list must not have replaced the subscription";
}

TEST(LinkScope, ControllerCloseShowsAsDisconnectedUntilReinitialised)
{
    ASSERT_TRUE(VX_IsConnectDashboard());
    ASSERT_TRUE(sim->command("close-dash"));
    EXPECT_TRUE(eventually([] { return !VX_IsConnectDashboard(); }));
    EXPECT_FALSE(VX_IsConnectDashboard()) << "stays down";

    // A fetch on the closed link leaves the outputs alone.
    double cpu = -3;
    uint32_t mem = 77;
    std::vector<_ST_ReadScopeData> rows;
    EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
    EXPECT_EQ(cpu, -3);
    EXPECT_EQ(mem, 77u);
    EXPECT_TRUE(rows.empty());

    ASSERT_EQ(VX_InitDashboardClient(kAddress), 0);
    EXPECT_TRUE(VX_IsConnectDashboard());
    std::vector<int> indexes = {49};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    EXPECT_FALSE(fetchRows().rows.empty());
}

TEST(LinkThreads, CollectorAndGuiThreadShareTheLink)
{
    std::vector<int> indexes = {49, 50, 51, 52, 53, 54};
    ASSERT_EQ(VX_SetScopeIndexs(indexes), 0);
    std::atomic<bool> quit{false};
    std::atomic<size_t> rows{0};
    std::atomic<int> cutRows{0};
    std::atomic<size_t> wholeRows{0};
    std::thread collector([&] {
        while (!quit) {
            double cpu = 0;
            uint32_t mem = 0;
            std::vector<_ST_ReadScopeData> batch;
            VX_ReadScopeData(&cpu, &mem, &batch);
            for (size_t r = 0; r < batch.size(); ++r) {
                const RowFit fit = rowFit(batch[r], indexes);
                cutRows += fit == RowFit::Cut;
                wholeRows += fit == RowFit::Whole;
            }
            rows += batch.size();
            std::this_thread::sleep_for(10ms);
        }
    });
    int flagsOk = 0, rpcOk = 0, connected = 0;
    const auto end = std::chrono::steady_clock::now() + 1500ms;
    while (std::chrono::steady_clock::now() < end) {
        flagsOk += readFlags().result == 0;
        connected += VX_IsConnectDashboard();
        int r = -1;
        readEncoders(r);
        rpcOk += r == 0;
        std::this_thread::sleep_for(5ms);
    }
    quit = true;
    collector.join();
    EXPECT_GT(rows.load(), 100u);
    EXPECT_EQ(cutRows.load(), 0);
    EXPECT_GT(wholeRows.load(), rows.load() / 2);
    EXPECT_GT(flagsOk, 0);
    EXPECT_GT(rpcOk, 10);
    EXPECT_GT(connected, 10);
}
