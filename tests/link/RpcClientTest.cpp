// The XML-RPC client against a minimal HTTP responder. xmlrpc-c's client is
// process-wide, so the tests run in this order in one process: the first
// one runs before any client exists. Addresses 127.0.0.30 .. 127.0.0.49.
#include "LinkPeers.h"
#include "VX_Ports.h"
#include "VX_Prod.h"
#include "VX_RpcClient.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

constexpr std::uint16_t kRpcPort = vx::kRpcPort;

std::vector<int> Six(int (&v)[6])
{
    return std::vector<int>(v, v + 6);
}

VX_RpcClient& Client()
{
    static VX_RpcClient client;
    return client;
}

void Target(const char* address)
{
    Client().SetServer(address, kRpcPort);
    ASSERT_EQ(Client().Init(), 0);
}

TEST(RpcClient, BeforeInitEveryCallFailsWithoutTraffic)
{
    RpcResponder responder("127.0.0.30", kRpcPort);
    ASSERT_TRUE(responder.Listening());
    responder.Answer("ReadCurEncode", IntArrayResponse({1, 2, 3, 4, 5, 6}));
    Client().SetServer("127.0.0.30", kRpcPort); // URL set, client not created

    int v[6] = {7, 7, 7, 7, 7, 7};
    int r[12] = {};
    int* const ratio[12] = {&r[0], &r[1], &r[2], &r[3], &r[4], &r[5],
                            &r[6], &r[7], &r[8], &r[9], &r[10], &r[11]};
    EXPECT_EQ(Client().ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(Client().ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(Client().ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &r[0]), -1);
    EXPECT_EQ(Client().ReadRatioInfo(ratio), -1);
    EXPECT_EQ(Client().SetHomeEncode(1, 2, 3, 4, 5, 6), -1);
    EXPECT_EQ(Client().StartScript("x"), -1);
    EXPECT_EQ(Six(v), std::vector<int>(6, 7));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(responder.Connections(), 0);
}

TEST(RpcClient, UrlIsBuiltFromAddressAndPort)
{
    Client().SetServer("192.168.10.101", 20000);
    EXPECT_EQ(Client().Url(), "http://192.168.10.101:20000/RPC2");
    Client().SetServer("1.2.3.4", 8080);
    EXPECT_EQ(Client().Url(), "http://1.2.3.4:8080/RPC2");
    // The host of the URL is the one the sockets connect to: blanks around
    // the address dropped, inet_addr's short forms in dotted form.
    Client().SetServer(" 192.168.1.10\t\n", 20000);
    EXPECT_EQ(Client().Url(), "http://192.168.1.10:20000/RPC2");
    Client().SetServer("127.1", vx::kRpcPort);
    EXPECT_EQ(Client().Url(), "http://127.0.0.1:20000/RPC2");
    Client().SetServer(" zps-7 ", 20000);
    EXPECT_EQ(Client().Url(), "http://zps-7:20000/RPC2");
    // Text far beyond dotted IPv4 is cut to the 260-character buffer.
    Client().SetServer(std::string(400, '9').c_str(), 20000);
    EXPECT_EQ(Client().Url().size(), 259u);
}

// Shapes of the answer to a six-int read, and what the outputs hold after.
struct ShapeCase
{
    const char* name;
    std::string body;
    int result;
    std::vector<int> outputs; // after the call; {7...} = untouched
};

TEST(RpcClient, ReadCurEncodeResultShapes)
{
    const std::vector<int> untouched(6, 7);
    const ShapeCase cases[] = {
        {"six ints", IntArrayResponse({10, -20, 30, 2147483647, -2147483647 - 1, 0}), 0,
         {10, -20, 30, 2147483647, -2147483647 - 1, 0}},
        {"int tags", ValuesArrayResponse("<value><int>1</int></value><value><int>2</int></value>"
                                         "<value><int>3</int></value><value><int>4</int></value>"
                                         "<value><int>5</int></value><value><int>6</int></value>"),
         0, {1, 2, 3, 4, 5, 6}},
        {"seven ints", IntArrayResponse({1, 2, 3, 4, 5, 6, 7}), -1, {0, 0, 0, 0, 0, 0}},
        {"five ints", IntArrayResponse({1, 2, 3, 4, 5}), -1, {0, 0, 0, 0, 0, 0}},
        {"empty array", IntArrayResponse({}), -1, {0, 0, 0, 0, 0, 0}},
        {"double third",
         ValuesArrayResponse("<value><i4>11</i4></value><value><i4>12</i4></value>"
                             "<value><double>1.5</double></value><value><i4>14</i4></value>"
                             "<value><i4>15</i4></value><value><i4>16</i4></value>"),
         // the ints before the double are already read
         -1, {11, 12, 0, 0, 0, 0}},
        {"string first", ValuesArrayResponse("<value><string>1</string></value><value><i4>2</i4></value>"
                                             "<value><i4>3</i4></value><value><i4>4</i4></value>"
                                             "<value><i4>5</i4></value><value><i4>6</i4></value>"),
         -1, {0, 0, 0, 0, 0, 0}},
        {"scalar", ScalarResponse("<value><i4>5</i4></value>"), -1, {0, 0, 0, 0, 0, 0}},
        {"struct", ScalarResponse("<value><struct><member><name>a</name><value><i4>1</i4></value>"
                                  "</member></struct></value>"),
         -1, {0, 0, 0, 0, 0, 0}},
        {"fault", FaultResponse(3, "refused"), -1, untouched},
        {"not xml", "this is no XML", -1, untouched},
        {"http 500", "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
         -1, untouched},
    };
    for (const ShapeCase& c : cases) {
        RpcResponder responder("127.0.0.31", kRpcPort);
        ASSERT_TRUE(responder.Listening());
        responder.Answer("ReadCurEncode", c.body);
        Target("127.0.0.31");
        int v[6] = {7, 7, 7, 7, 7, 7};
        EXPECT_EQ(Client().ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), c.result) << c.name;
        EXPECT_EQ(Six(v), c.outputs) << c.name;
        const auto calls = responder.Calls();
        ASSERT_EQ(calls.size(), 1u) << c.name;
        EXPECT_EQ(calls[0].method, "ReadCurEncode");
        EXPECT_TRUE(calls[0].params.empty());
        EXPECT_EQ(calls[0].requestLine, "POST /RPC2 HTTP/1.1");
    }
}

TEST(RpcClient, ReadMachineOriginSevenIntsFails)
{
    RpcResponder responder("127.0.0.32", kRpcPort);
    responder.Answer("ReadMachineOrigin", IntArrayResponse({1, 2, 3, 4, 5, 6, 7}));
    Target("127.0.0.32");
    int v[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(Client().ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    responder.Answer("ReadMachineOrigin", IntArrayResponse({-1, -2, -3, -4, -5, -6}));
    EXPECT_EQ(Client().ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 0);
    EXPECT_EQ(Six(v), (std::vector<int>{-1, -2, -3, -4, -5, -6}));
}

TEST(RpcClient, ReadVersionAndRatioInfo)
{
    RpcResponder responder("127.0.0.33", kRpcPort);
    // The firmware code is a 32-bit pattern; on the wire it is a signed int.
    responder.Answer("ReadVersion", IntArrayResponse({5, 1, 2, 3, 4, 6, static_cast<int>(0xDEADBEEFu)}));
    std::vector<int> twelve;
    for (int i = 1; i <= 12; ++i)
        twelve.push_back(i * 11);
    responder.Answer("ReadMachineOrigin", IntArrayResponse(twelve));
    Target("127.0.0.33");

    int v[7] = {};
    EXPECT_EQ(Client().ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0);
    EXPECT_EQ(std::vector<int>(v, v + 7),
              (std::vector<int>{5, 1, 2, 3, 4, 6, static_cast<int>(0xDEADBEEFu)}));

    int r[12] = {};
    int* const ratio[12] = {&r[0], &r[1], &r[2], &r[3], &r[4], &r[5],
                            &r[6], &r[7], &r[8], &r[9], &r[10], &r[11]};
    EXPECT_EQ(Client().ReadRatioInfo(ratio), 0);
    EXPECT_EQ(std::vector<int>(r, r + 12), twelve);
    // Twelve ints are not a machine origin.
    int o[6] = {};
    EXPECT_EQ(Client().ReadMachineOrigin(&o[0], &o[1], &o[2], &o[3], &o[4], &o[5]), -1);

    const auto calls = responder.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].method, "ReadVersion");
    EXPECT_EQ(calls[1].method, "ReadMachineOrigin");
}

TEST(RpcClient, SetHomeEncodeSendsALeadingZeroAndTheSixValues)
{
    RpcResponder responder("127.0.0.34", kRpcPort);
    responder.Answer("SetHomeEncode", ScalarResponse("<value><string>done</string></value>"));
    Target("127.0.0.34");
    EXPECT_EQ(Client().SetHomeEncode(101, -202, 303, 2147483647, 0, -1), 0);
    responder.Answer("SetHomeEncode", FaultResponse(12, "axis busy"));
    EXPECT_EQ(Client().SetHomeEncode(1, 2, 3, 4, 5, 6), -1);
    const auto calls = responder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].method, "SetHomeEncode");
    EXPECT_EQ(calls[0].params, (std::vector<std::string>{"i:0", "i:101", "i:-202", "i:303",
                                                         "i:2147483647", "i:0", "i:-1"}));
    EXPECT_EQ(calls[1].params, (std::vector<std::string>{"i:0", "i:1", "i:2", "i:3", "i:4",
                                                         "i:5", "i:6"}));
}

TEST(RpcClient, StartScriptSendsTwoZerosAndTheText)
{
    RpcResponder responder("127.0.0.35", kRpcPort);
    responder.Answer("StartScript", ScalarResponse("<value><i4>0</i4></value>"));
    Target("127.0.0.35");
    // A long script with markup characters and line ends arrives as it was.
    std::string script;
    for (int i = 0; i < 3000; ++i)
        script += "MoveJ(P" + std::to_string(i) + ") <a & b> \"q\"\r\n";
    EXPECT_EQ(Client().StartScript(""), 0);
    EXPECT_EQ(Client().StartScript(script), 0);
    const auto calls = responder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].params, (std::vector<std::string>{"i:0", "i:0", "s:"}));
    ASSERT_EQ(calls[1].params.size(), 3u);
    EXPECT_EQ(calls[1].params[0], "i:0");
    EXPECT_EQ(calls[1].params[1], "i:0");
    // Carriage returns travel as character references, so the text is sent
    // as given; an xmlrpc-c server itself hands them on as plain line feeds.
    std::string lineFeeds = script;
    for (std::size_t at; (at = lineFeeds.find('\r')) != std::string::npos;)
        lineFeeds.erase(at, 1);
    EXPECT_TRUE(calls[1].params[2] == "s:" + lineFeeds) << "script text changed on the way";
    std::size_t references = 0;
    for (std::size_t at = 0; (at = calls[1].body.find("&#x0d;", at)) != std::string::npos; ++at)
        ++references;
    EXPECT_EQ(references, 3000u);
}

TEST(RpcClient, ScriptThatIsNotUtf8IsRefusedBeforeSending)
{
    RpcResponder responder("127.0.0.40", kRpcPort);
    responder.Answer("StartScript", ScalarResponse("<value><i4>0</i4></value>"));
    Target("127.0.0.40");
    EXPECT_EQ(Client().StartScript("caf\xc3\xa9 \xe2\x82\xac"), 0);
    EXPECT_EQ(Client().StartScript("latin-1 \xe9"), -1);
    const auto calls = responder.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].params[2], "s:caf\xc3\xa9 \xe2\x82\xac");
}

TEST(RpcClient, SecondInitTargetsTheSecondAddress)
{
    RpcResponder first("127.0.0.36", kRpcPort);
    RpcResponder second("127.0.0.37", kRpcPort);
    first.Answer("ReadCurEncode", IntArrayResponse({1, 1, 1, 1, 1, 1}));
    second.Answer("ReadCurEncode", IntArrayResponse({2, 2, 2, 2, 2, 2}));
    int v[6] = {};
    Target("127.0.0.36");
    EXPECT_EQ(Client().ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 0);
    EXPECT_EQ(Six(v), std::vector<int>(6, 1));
    Target("127.0.0.37");
    EXPECT_EQ(Client().ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 0);
    EXPECT_EQ(Six(v), std::vector<int>(6, 2));
    EXPECT_EQ(first.Calls().size(), 1u);
    EXPECT_EQ(second.Calls().size(), 1u);
}

TEST(RpcClient, NothingListeningFails)
{
    Target("127.0.0.38");
    int v[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(Client().ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    EXPECT_EQ(Six(v), std::vector<int>(6, 7));
    EXPECT_EQ(Client().StartScript("x"), -1);
}

TEST(RpcClient, ServerThatNeverAnswersTimesOut)
{
    RpcResponder responder("127.0.0.39", kRpcPort);
    responder.Answer("ReadCurEncode", RpcResponder::kNeverAnswer);
    responder.Answer("ReadVersion", IntArrayResponse({1, 2, 3, 4, 5, 6, 7}));
    Target("127.0.0.39");
    int v[6] = {7, 7, 7, 7, 7, 7};
    const auto start = Clock::now();
    EXPECT_EQ(Client().ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_EQ(Six(v), std::vector<int>(6, 7));
    // Bounded by the call time-out (plus slack for a loaded machine), and the
    // call really waited for it rather than failing at once.
    EXPECT_GE(took.count(), static_cast<long>(vx::kRpcCallTimeoutMs) - 100);
    EXPECT_LT(took.count(), static_cast<long>(vx::kRpcCallTimeoutMs) + 10000);
    // The client still works after a time-out.
    int w[7] = {};
    EXPECT_EQ(Client().ReadVersion(&w[0], &w[1], &w[2], &w[3], &w[4], &w[5], &w[6]), 0);
    EXPECT_EQ(w[6], 7);
}

} // namespace
