// Request-style controller commands over XML-RPC (port 20000, "/RPC2"),
// made through xmlrpc-c's process-wide client.
#pragma once

#include "VX_Lock.h"

#include <cstddef>
#include <string>

struct _xmlrpc_value;

namespace vx {
constexpr std::size_t kUrlBufferSize = 260;
constexpr const char* kRpcAppName = "VX_CCS_XMLRPC";
constexpr const char* kRpcAppVersion = "5.0";

// Reads a call's result, which must be an array of exactly `count` ints
// (count <= 12) matching `format` ("(iii...)"). Every output is written: the
// ints read before an offending element, zeros after it. Returns 0, or -1
// for any other shape. Does not take over `result`.
int DecomposeInts(_xmlrpc_value* result, const char* format, int* const* outputs,
                  std::size_t count);
}

class VX_RpcClient
{
public:
    VX_RpcClient();

    // Sets the URL http://address:port/RPC2 of every later call.
    void SetServer(const char* address, int port);
    // (Re-)creates xmlrpc-c's process-wide client. Always returns 0; a client
    // that could not be created shows as -1 from every later call.
    int Init();

    int ReadVersion(int* zpsMajor, int* zpsMinor, int* box1, int* box2, int* box3, int* algorithm,
                    int* firmware);
    int ReadMachineOrigin(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6);
    int ReadRatioInfo(int* const outputs[12]);
    int ReadCurEncode(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6);
    int SetHomeEncode(int a1, int a2, int a3, int a4, int a5, int a6);
    int StartScript(const std::string& script);

    // The current URL (for tests).
    std::string Url();

private:
    // Calls a method without parameters whose result must be an array of
    // exactly `count` ints, written to `outputs` as described in VX_Prod.h.
    int CallForInts(const char* method, const char* format, int* const* outputs, std::size_t count);

    VX_Lock m_lock;
    char m_url[vx::kUrlBufferSize];
    bool m_clientCreated = false; // whether this library created the global client
};
