// The exports in a process that has not initialised the library: every call
// fails quietly. Then initialisation against addresses where nothing listens.
// Addresses 127.0.0.50 .. 127.0.0.54.
#include "LinkPeers.h"
#include "VX_Ports.h"
#include "VX_Prod.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

TEST(ExportsBeforeInit, EveryCallFailsQuietly)
{
    EXPECT_FALSE(VX_IsConnectDashboard()) << "creates the dashboard client and says no";
    EXPECT_FALSE(VX_IsConnectDashboard());

    int f[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    EXPECT_EQ(VXIF_ReadRobotFlags(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]), 20007);
    EXPECT_EQ(std::vector<int>(f, f + 8), std::vector<int>(8, 3));

    std::vector<int> indexes{1, 2, 3};
    EXPECT_EQ(VX_SetScopeIndexs(indexes), 0) << "the send fails, which is not reported";
    std::vector<int> tooMany(37, 1);
    EXPECT_EQ(VX_SetScopeIndexs(tooMany), -1);

    double cpu = 4.5;
    std::uint32_t memory = 9;
    std::vector<_ST_ReadScopeData> rows;
    EXPECT_EQ(VX_ReadScopeData(&cpu, &memory, &rows), 0);
    EXPECT_EQ(cpu, 4.5);
    EXPECT_EQ(memory, 9u);
    EXPECT_TRUE(rows.empty());
    std::uint64_t broken = 7, overCap = 7;
    VX_ReadScopeStreamCounts(&broken, &overCap);
    EXPECT_EQ(broken, 0u);
    EXPECT_EQ(overCap, 0u);

    int v[12] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), -1);
    EXPECT_EQ(VXRPC_ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(VXRPC_ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(VXRPC_ReadRatioInfo(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8],
                                  &v[9], &v[10], &v[11]),
              -1);
    EXPECT_EQ(VXRPC_SetHomeEncode(1, 2, 3, 4, 5, 6), -1);
    EXPECT_EQ(VX_StartScript(""), -1);
    EXPECT_EQ(std::vector<int>(v, v + 12), std::vector<int>(12, 5));
}

TEST(ExportsBeforeInit, InitAgainstAnUnreachableControllerStillReturnsZero)
{
    EXPECT_EQ(VXRPC_InitClient("127.0.0.50", vx::kRpcPort, vx::kCommandPort), 0);
    int v[6] = {5, 5, 5, 5, 5, 5};
    EXPECT_EQ(VXRPC_ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(std::vector<int>(v, v + 6), std::vector<int>(6, 5));
    int f[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    EXPECT_EQ(VXIF_ReadRobotFlags(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]), 20007);

    EXPECT_NE(VX_InitDashboardClient("127.0.0.50"), 0) << "nothing listens on 20003";
    EXPECT_FALSE(VX_IsConnectDashboard());
    EXPECT_NE(VX_InitDashboardClient("not an address"), 0);
    EXPECT_FALSE(VX_IsConnectDashboard());
}

} // namespace
