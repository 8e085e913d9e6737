// The exports and the process-wide client objects behind them.
#include "VX_Prod.h"

#include "VX_CommandClient.h"
#include "VX_DashboardClient.h"
#include "VX_RpcClient.h"

#include <cstdint>

namespace {

// Each client is created on first use; a function-local static is created
// exactly once even when the first calls race. The objects are never
// destroyed: a scope collector thread may still be inside a call while the
// process exits.
VX_RpcClient& RpcClient()
{
    static VX_RpcClient* const client = new VX_RpcClient;
    return *client;
}

VX_CommandClient& CommandClient()
{
    static VX_CommandClient* const client = new VX_CommandClient;
    return *client;
}

VX_DashboardClient& DashboardClient()
{
    static VX_DashboardClient* const client = new VX_DashboardClient;
    return *client;
}

} // namespace

extern "C" {

VX_PROD_API int VXRPC_InitClient(std::string ip, int rpcPort, int commandPort)
{
    VX_RpcClient& rpc = RpcClient();
    rpc.SetServer(ip.c_str(), rpcPort);
    CommandClient().Connect(ip.c_str(), static_cast<std::uint16_t>(commandPort));
    return rpc.Init();
}

VX_PROD_API int VXRPC_ReadVersion(int* zpsMajor, int* zpsMinor, int* box1, int* box2, int* box3,
                                  int* algorithm, int* firmware)
{
    return RpcClient().ReadVersion(zpsMajor, zpsMinor, box1, box2, box3, algorithm, firmware);
}

VX_PROD_API int VXRPC_ReadMachineOrigin(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6)
{
    return RpcClient().ReadMachineOrigin(a1, a2, a3, a4, a5, a6);
}

VX_PROD_API int VXRPC_ReadRatioInfo(int* r1, int* r2, int* r3, int* r4, int* r5, int* r6, int* r7,
                                    int* r8, int* r9, int* r10, int* r11, int* r12)
{
    int* const outputs[12] = {r1, r2, r3, r4, r5, r6, r7, r8, r9, r10, r11, r12};
    return RpcClient().ReadRatioInfo(outputs);
}

VX_PROD_API int VXRPC_ReadCurEncode(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6)
{
    return RpcClient().ReadCurEncode(a1, a2, a3, a4, a5, a6);
}

VX_PROD_API int VXRPC_SetHomeEncode(int a1, int a2, int a3, int a4, int a5, int a6)
{
    return RpcClient().SetHomeEncode(a1, a2, a3, a4, a5, a6);
}

VX_PROD_API int VX_StartScript(std::string script)
{
    return RpcClient().StartScript(script);
}

VX_PROD_API int VXIF_ReadRobotFlags(int* f1, int* f2, int* f3, int* f4, int* f5, int* f6, int* f7,
                                    int* f8)
{
    return CommandClient().ReadRobotState(f1, f2, f3, f4, f5, f6, f7, f8);
}

VX_PROD_API int VX_InitDashboardClient(std::string ip)
{
    return DashboardClient().Init(ip.c_str());
}

VX_PROD_API bool VX_IsConnectDashboard()
{
    return DashboardClient().IsConnected();
}

VX_PROD_API int VX_SetScopeIndexs(std::vector<int>& indexes)
{
    return DashboardClient().SetScopeIndexes(indexes);
}

VX_PROD_API int VX_ReadScopeData(double* cpuLoad, uint32_t* memory,
                                 std::vector<_ST_ReadScopeData>* rows)
{
    return DashboardClient().ReadScopeData(cpuLoad, memory, rows);
}

VX_PROD_API void VX_ReadScopeStreamCounts(uint64_t* brokenReplies, uint64_t* rowsOverCap)
{
    DashboardClient().ReadStreamCounts(brokenReplies, rowsOverCap);
}

} // extern "C"
