// The link library before any initialisation and against an address where
// no controller listens, then its recovery once one does. Needs a process
// of its own: the library's clients live as long as the process.
#include <gtest/gtest.h>

#include <cerrno>

#include "SimLinkHelpers.h"
#include "SimProcess.h"
#include "VX_Ports.h"
#include "VX_Prod.h"

using namespace simlink;

TEST(LinkBeforeInit, EveryExportFailsQuietly)
{
    // The first call of all: the dashboard client is created here.
    EXPECT_FALSE(VX_IsConnectDashboard());

    int v[12];
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), -1);
    EXPECT_EQ(VXRPC_ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(VXRPC_ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(VXRPC_ReadRatioInfo(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11]),
              -1);
    EXPECT_EQ(VXRPC_SetHomeEncode(1, 2, 3, 4, 5, 6), -1);
    EXPECT_EQ(VX_StartScript("MoveJ(home)"), -1);

    const Flags f = readFlags();
    EXPECT_EQ(f.result, 20007);
    for (int x : f.f)
        EXPECT_EQ(x, -7);

    std::vector<int> indexes = {49, 50};
    EXPECT_EQ(VX_SetScopeIndexs(indexes), 0);
    double cpu = -3;
    uint32_t mem = 77;
    std::vector<_ST_ReadScopeData> rows;
    EXPECT_EQ(VX_ReadScopeData(&cpu, &mem, &rows), 0);
    EXPECT_EQ(cpu, -3);
    EXPECT_EQ(mem, 77u);
    EXPECT_TRUE(rows.empty());
}

TEST(LinkBeforeInit, NoControllerThenRecoveryByReinitialising)
{
    const std::string address = "127.0.1.50";
    EXPECT_EQ(VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort), 0) << "always 0, reachable or not";
    EXPECT_EQ(VX_InitDashboardClient(address), ECONNREFUSED);
    EXPECT_FALSE(VX_IsConnectDashboard());
    int v[7];
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), -1);
    EXPECT_EQ(readFlags().result, 20007);

    vxtest::SimProcess sim(address);
    ASSERT_TRUE(sim.ok()) << sim.error();
    // Nothing reconnects on its own ...
    EXPECT_FALSE(VX_IsConnectDashboard());
    EXPECT_EQ(readFlags().result, 20007);
    // ... until the link is initialised again.
    EXPECT_EQ(VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort), 0);
    EXPECT_EQ(VX_InitDashboardClient(address), 0);
    EXPECT_TRUE(VX_IsConnectDashboard());
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0);
    EXPECT_EQ(v[0], 5);
    EXPECT_EQ(readFlagsUntil([](const Flags& f) { return f.result == 0; }).result, 0);
}
