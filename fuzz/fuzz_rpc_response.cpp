// An XML-RPC response body as the controller's HTTP server may send it, read
// by xmlrpc-c's response parser and then by the link's decomposition of the
// ints the commands expect.
#include "VX_RpcClient.h"

#include <cstdlib>
#include <xmlrpc-c/base.h>

using namespace vx;

// In libxmlrpc_util, but not in the installed headers.
extern "C" void xmlrpc_strfree(const char* string);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    xmlrpc_env env;
    xmlrpc_env_init(&env);
    // Responses beyond this are refused by xmlrpc-c's own size limit too.
    xmlrpc_limit_set(XMLRPC_XML_SIZE_LIMIT_ID, 1 << 20);
    xmlrpc_value* result = nullptr;
    int faultCode = 0;
    const char* faultString = nullptr;
    xmlrpc_parse_response2(&env, reinterpret_cast<const char*>(data), size, &result, &faultCode,
                           &faultString);
    if (!env.fault_occurred) {
        if (faultString) {
            xmlrpc_strfree(faultString);
        } else if (result) {
            struct Shape { const char* format; std::size_t count; };
            const Shape shapes[] = {{"(iiiiiii)", 7}, {"(iiiiii)", 6}, {"(iiiiiiiiiiii)", 12}};
            for (const Shape& s : shapes) {
                int values[12];
                for (int& v : values)
                    v = -7;
                int* outputs[12];
                for (int i = 0; i < 12; ++i)
                    outputs[i] = &values[i];
                const int rc = DecomposeInts(result, s.format, outputs, s.count);
                if (rc != 0 && rc != -1)
                    std::abort();
                // Every output is written, and a success means an array of
                // exactly that many ints.
                for (std::size_t i = 0; i < s.count; ++i)
                    if (values[i] == -7 && rc == 0) {
                        xmlrpc_env e2;
                        xmlrpc_env_init(&e2);
                        xmlrpc_value* item = nullptr;
                        xmlrpc_array_read_item(&e2, result, static_cast<unsigned>(i), &item);
                        int v = 0;
                        if (!e2.fault_occurred) {
                            xmlrpc_read_int(&e2, item, &v);
                            xmlrpc_DECREF(item);
                        }
                        if (e2.fault_occurred || v != -7)
                            std::abort();
                        xmlrpc_env_clean(&e2);
                    }
                if (rc == 0 && (xmlrpc_value_type(result) != XMLRPC_TYPE_ARRAY))
                    std::abort();
            }
            xmlrpc_DECREF(result);
        }
    }
    xmlrpc_env_clean(&env);
    return 0;
}
