#include "VX_RpcClient.h"

#include "VX_Address.h"

#include "VX_Prod.h"

#include <cstdio>
#include <cstring>
#include <xmlrpc-c/base.h>
#include <xmlrpc-c/client.h>
#include <xmlrpc-c/client_global.h>

using namespace vx;

namespace {

// Creates the global client on the curl transport with a whole-call time-out,
// so a controller that accepts and never answers cannot block the caller.
void CreateGlobalClient(xmlrpc_env* env)
{
    xmlrpc_curl_xportparms transportParms;
    std::memset(&transportParms, 0, sizeof transportParms);
    transportParms.timeout = kRpcCallTimeoutMs;

    xmlrpc_clientparms clientParms;
    std::memset(&clientParms, 0, sizeof clientParms);
    clientParms.transport = "curl";
    clientParms.transportparmsP = &transportParms;
    clientParms.transportparm_size = XMLRPC_CXPSIZE(timeout);

    xmlrpc_client_init2(env, XMLRPC_CLIENT_NO_FLAGS, kRpcAppName, kRpcAppVersion, &clientParms,
                        XMLRPC_CPSIZE(transportparm_size));
}

} // namespace

int vx::DecomposeInts(xmlrpc_value* result, const char* format, int* const* outputs,
                      std::size_t count)
{
    xmlrpc_env env;
    xmlrpc_env_init(&env);
    int locals[12] = {};
    if (count > 12) {
        xmlrpc_env_set_fault(&env, XMLRPC_INTERNAL_ERROR, "too many outputs");
        count = 0;
    } else if (xmlrpc_value_type(result) != XMLRPC_TYPE_ARRAY) {
        // Strict shape: an array of exactly `count` ints. Anything else is a
        // fault, and the outputs then hold the ints read before the offending
        // element.
        xmlrpc_env_set_fault(&env, XMLRPC_TYPE_ERROR, "result is not an array");
    } else {
        // Unused trailing pointers are ignored by the format.
        xmlrpc_decompose_value(&env, result, format, &locals[0], &locals[1], &locals[2],
                               &locals[3], &locals[4], &locals[5], &locals[6], &locals[7],
                               &locals[8], &locals[9], &locals[10], &locals[11]);
        if (!env.fault_occurred &&
            static_cast<std::size_t>(xmlrpc_array_size(&env, result)) != count &&
            !env.fault_occurred)
            xmlrpc_env_set_fault(&env, XMLRPC_TYPE_ERROR, "array has the wrong number of items");
    }
    for (std::size_t i = 0; i < count; ++i)
        *outputs[i] = locals[i];
    const bool failed = env.fault_occurred;
    xmlrpc_env_clean(&env);
    return failed ? -1 : 0;
}

VX_RpcClient::VX_RpcClient()
{
    std::memset(m_url, 0, sizeof m_url);
}

void VX_RpcClient::SetServer(const char* address, int port)
{
    VX_LockGurad guard(&m_lock);
    std::memset(m_url, 0, sizeof m_url);
    // snprintf bounds the text: an address longer than dotted IPv4 is cut
    // rather than written past the buffer.
    std::snprintf(m_url, sizeof m_url, "http://%s:%d/RPC2", UrlHost(address).c_str(), port);
}

std::string VX_RpcClient::Url()
{
    VX_LockGurad guard(&m_lock);
    return m_url;
}

int VX_RpcClient::Init()
{
    VX_LockGurad guard(&m_lock);
    xmlrpc_env env;
    xmlrpc_env_init(&env);
    CreateGlobalClient(&env);
    if (env.fault_occurred) {
        // Usually the client exists from an earlier initialisation: replace it.
        // Destroying one that was never created would be a fault of its own.
        if (m_clientCreated) {
            xmlrpc_client_cleanup();
            m_clientCreated = false;
        }
        xmlrpc_env_clean(&env);
        xmlrpc_env_init(&env);
        CreateGlobalClient(&env);
    }
    if (!env.fault_occurred)
        m_clientCreated = true;
    xmlrpc_env_clean(&env);
    return 0;
}

int VX_RpcClient::CallForInts(const char* method, const char* format, int* const* outputs,
                              std::size_t count)
{
    VX_LockGurad guard(&m_lock);
    if (!m_clientCreated)
        return -1;

    xmlrpc_env env;
    xmlrpc_env_init(&env);
    xmlrpc_value* result = xmlrpc_client_call(&env, m_url, method, "()");
    if (env.fault_occurred) {
        xmlrpc_env_clean(&env);
        return -1;
    }

    const int failed = DecomposeInts(result, format, outputs, count);
    xmlrpc_DECREF(result);
    return failed;
}

int VX_RpcClient::ReadVersion(int* zpsMajor, int* zpsMinor, int* box1, int* box2, int* box3,
                              int* algorithm, int* firmware)
{
    int* const outputs[] = {zpsMajor, zpsMinor, box1, box2, box3, algorithm, firmware};
    return CallForInts("ReadVersion", "(iiiiiii)", outputs, 7);
}

int VX_RpcClient::ReadMachineOrigin(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6)
{
    int* const outputs[] = {a1, a2, a3, a4, a5, a6};
    return CallForInts("ReadMachineOrigin", "(iiiiii)", outputs, 6);
}

int VX_RpcClient::ReadRatioInfo(int* const outputs[12])
{
    // The controller names no method of its own for this data; the call goes
    // to "ReadMachineOrigin" and expects twelve ints.
    return CallForInts("ReadMachineOrigin", "(iiiiiiiiiiii)", outputs, 12);
}

int VX_RpcClient::ReadCurEncode(int* a1, int* a2, int* a3, int* a4, int* a5, int* a6)
{
    int* const outputs[] = {a1, a2, a3, a4, a5, a6};
    return CallForInts("ReadCurEncode", "(iiiiii)", outputs, 6);
}

int VX_RpcClient::SetHomeEncode(int a1, int a2, int a3, int a4, int a5, int a6)
{
    VX_LockGurad guard(&m_lock);
    if (!m_clientCreated)
        return -1;
    xmlrpc_env env;
    xmlrpc_env_init(&env);
    // The leading 0 is part of the controller's parameter list.
    xmlrpc_value* result =
        xmlrpc_client_call(&env, m_url, "SetHomeEncode", "(iiiiiii)", 0, a1, a2, a3, a4, a5, a6);
    const bool failed = env.fault_occurred;
    if (!failed)
        xmlrpc_DECREF(result);
    xmlrpc_env_clean(&env);
    return failed ? -1 : 0;
}

int VX_RpcClient::StartScript(const std::string& script)
{
    VX_LockGurad guard(&m_lock);
    if (!m_clientCreated)
        return -1;
    xmlrpc_env env;
    xmlrpc_env_init(&env);
    // The text goes as given: the "_cr" form keeps carriage returns (they are
    // escaped in the XML) where the plain "s" format would turn CRLF into LF.
    xmlrpc_value* text = xmlrpc_string_new_lp_cr(&env, script.size(), script.c_str());
    if (env.fault_occurred) {
        xmlrpc_env_clean(&env);
        return -1;
    }
    xmlrpc_value* result = xmlrpc_client_call(&env, m_url, "StartScript", "(iiV)", 0, 0, text);
    xmlrpc_DECREF(text);
    const bool failed = env.fault_occurred;
    if (!failed)
        xmlrpc_DECREF(result);
    xmlrpc_env_clean(&env);
    return failed ? -1 : 0;
}
