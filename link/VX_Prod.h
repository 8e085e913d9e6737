// VX_Prod: the robot link library. Every deliverable reaches the ZPS
// controller through these twelve functions, and reads the dashboard
// stream's loss counts through a thirteenth. They are exported under their
// plain, unmangled names; some of them take standard strings and vectors, so
// callers must be built against the same C++ standard library.
//
// Return conventions:
//   XML-RPC operations           0, or -1 for any failure (transport, fault,
//                                result of the wrong shape, time-out)
//   VXIF_ReadRobotFlags          0 for "OK", 20007 when no usable reply came,
//                                otherwise the controller's error number; a
//                                refusal whose error number is missing, not a
//                                number or 0 gives 20007, never 0. The eight
//                                flags are written only when the reply holds
//                                at least nine values after the status.
//   VX_InitDashboardClient       0, or the errno of the step that failed
//                                (EINVAL for text that is not dotted IPv4,
//                                ETIMEDOUT when no answer within 2 s)
//   VX_SetScopeIndexs            -1 (more than 36 indexes, wait failure or
//                                peer close), otherwise 0
//   VX_ReadScopeData             always 0. The dashboard connection is read
//                                as one byte stream: a reply cut by the end
//                                of a fetch is finished by later fetches, so
//                                every row comes exactly once, in order.
//                                Each reply header read sets the CPU load and
//                                memory figure (the newest wins); a fetch
//                                that completes no header leaves them as the
//                                caller set them. The first 100 rows of each
//                                reply are appended as they become whole.
//   VX_ReadScopeStreamCounts     since VX_InitDashboardClient: breaks of the
//                                stream (bytes that made no reply or row;
//                                the rows of the next whole reply come
//                                again), and rows the 100-row cap passed
//                                over.
// No function throws for a network or protocol failure. Output pointers must
// not be null.
//
// Time bounds: every XML-RPC call gives up after vx::kRpcCallTimeoutMs (the
// whole call, connect included) and then returns -1, so a controller that
// accepts and never answers cannot freeze the caller. xmlrpc-c's curl
// transport counts this in whole seconds and notices it on a one-second tick,
// so such a call returns after about 6 s. A dashboard or command
// exchange waits at most five 10 us polls plus 5 ms per reply piece; a
// connect waits at most 2 s; VX_IsConnectDashboard at most 10 ms.
//
// Diagnostics: the socket layer writes short traces to syslog at LOG_DEBUG
// (facility LOG_USER, prefix "VX_Prod:"). They never reach the user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#if defined(VX_PROD_BUILD)
#define VX_PROD_API __attribute__((visibility("default")))
#else
#define VX_PROD_API
#endif

// One scope sample row: the time stamp (ms) and one value per subscribed
// channel, in the order of the indexes last sent with VX_SetScopeIndexs.
// The same layout is used on the wire and in memory (37 doubles, no padding).
struct _ST_ReadScopeData
{
    double time;
    double values[36];
};
static_assert(sizeof(_ST_ReadScopeData) == 296, "_ST_ReadScopeData must be 296 bytes");

namespace vx {
// Longest time one XML-RPC call may take before it fails with -1.
constexpr unsigned int kRpcCallTimeoutMs = 5000;
} // namespace vx

extern "C" {

VX_PROD_API int VXRPC_InitClient(std::string ip, int rpcPort, int commandPort);
VX_PROD_API int VXRPC_ReadVersion(int* zpsMajor, int* zpsMinor, int* box1, int* box2, int* box3,
                                  int* algorithm, int* firmware);
VX_PROD_API int VXRPC_ReadMachineOrigin(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6);
VX_PROD_API int VXRPC_ReadRatioInfo(int* r1, int* r2, int* r3, int* r4, int* r5, int* r6,
                                    int* r7, int* r8, int* r9, int* r10, int* r11, int* r12);
VX_PROD_API int VXRPC_ReadCurEncode(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6);
VX_PROD_API int VXRPC_SetHomeEncode(int a1, int a2, int a3, int a4, int a5, int a6);
VX_PROD_API int VX_StartScript(std::string script);
VX_PROD_API int VXIF_ReadRobotFlags(int* f1, int* f2, int* f3, int* f4, int* f5, int* f6, int* f7,
                                    int* f8);
VX_PROD_API int VX_InitDashboardClient(std::string ip);
VX_PROD_API bool VX_IsConnectDashboard();
VX_PROD_API int VX_SetScopeIndexs(std::vector<int>& indexes);
VX_PROD_API int VX_ReadScopeData(double* cpuLoad, uint32_t* memory,
                                 std::vector<_ST_ReadScopeData>* rows);
VX_PROD_API void VX_ReadScopeStreamCounts(uint64_t* brokenReplies, uint64_t* rowsOverCap);

} // extern "C"
