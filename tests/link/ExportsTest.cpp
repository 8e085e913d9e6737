// The twelve exports against a scripted controller: XML-RPC on 20000, the
// command port on 10003 and the dashboard on 20003 of one loopback address.
// Addresses 127.0.0.80 .. 127.0.0.99.
#include "LinkPeers.h"
#include "VX_Ports.h"
#include "VX_Prod.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace linktest;

namespace {

std::vector<int> Ints(const int* v, std::size_t n)
{
    return std::vector<int>(v, v + n);
}

// ------------------------------------------------------------ XML-RPC

TEST(RpcExports, CommandsAndResultShapes)
{
    RpcResponder zps("127.0.0.80", vx::kRpcPort);
    ASSERT_TRUE(zps.Listening());
    zps.Answer("ReadVersion", IntArrayResponse({5, 1, 3, 2, 1, 9, 0x0A0B0C0D}));
    zps.Answer("ReadCurEncode", IntArrayResponse({100, 200, 300, 400, 500, 600}));
    zps.Answer("ReadMachineOrigin", IntArrayResponse({1, 2, 3, 4, 5, 6, 7}));
    zps.Answer("SetHomeEncode", ScalarResponse("<value><i4>0</i4></value>"));
    zps.Answer("StartScript", ScalarResponse("<value><boolean>1</boolean></value>"));
    ASSERT_EQ(VXRPC_InitClient("127.0.0.80", vx::kRpcPort, vx::kCommandPort), 0) << "no command port there";

    int v[7] = {};
    EXPECT_EQ(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0);
    EXPECT_EQ(Ints(v, 7), (std::vector<int>{5, 1, 3, 2, 1, 9, 0x0A0B0C0D}));
    EXPECT_EQ(VXRPC_ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 0);
    EXPECT_EQ(Ints(v, 6), (std::vector<int>{100, 200, 300, 400, 500, 600}));
    EXPECT_EQ(VXRPC_ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1)
        << "seven ints are no machine origin";
    EXPECT_EQ(VXRPC_SetHomeEncode(11, 22, 33, 44, 55, 66), 0);
    EXPECT_EQ(VX_StartScript(""), 0);

    // A double in the array: -1, the ints before it are written.
    zps.Answer("ReadMachineOrigin",
               ValuesArrayResponse("<value><i4>1</i4></value><value><i4>2</i4></value>"
                                   "<value><i4>3</i4></value><value><double>4.0</double></value>"
                                   "<value><i4>5</i4></value><value><i4>6</i4></value>"));
    int o[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(VXRPC_ReadMachineOrigin(&o[0], &o[1], &o[2], &o[3], &o[4], &o[5]), -1);
    EXPECT_EQ(Ints(o, 6), (std::vector<int>{1, 2, 3, 0, 0, 0}));

    zps.Answer("ReadCurEncode", FaultResponse(-500, "not homed"));
    int e[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(VXRPC_ReadCurEncode(&e[0], &e[1], &e[2], &e[3], &e[4], &e[5]), -1);
    EXPECT_EQ(Ints(e, 6), std::vector<int>(6, 9));

    std::vector<int> twelve{1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144};
    zps.Answer("ReadMachineOrigin", IntArrayResponse(twelve));
    int r[12] = {};
    EXPECT_EQ(VXRPC_ReadRatioInfo(&r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6], &r[7], &r[8],
                                  &r[9], &r[10], &r[11]),
              0);
    EXPECT_EQ(Ints(r, 12), twelve);

    const auto calls = zps.Calls();
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[3].method, "SetHomeEncode");
    EXPECT_EQ(calls[3].params, (std::vector<std::string>{"i:0", "i:11", "i:22", "i:33", "i:44",
                                                         "i:55", "i:66"}));
    EXPECT_EQ(calls[4].method, "StartScript");
    EXPECT_EQ(calls[4].params, (std::vector<std::string>{"i:0", "i:0", "s:"}));
    for (const RecordedCall& call : calls)
        EXPECT_EQ(call.requestLine, "POST /RPC2 HTTP/1.1");
}

// ------------------------------------------------------------ command port

// A command port that answers the first request of each connection with
// `reply` and records what it received on each connection.
struct CommandPort
{
    CommandPort(const char* address, std::string reply)
        : answer(std::move(reply)),
          peer(address, vx::kCommandPort, [this](PeerConnection& c, int index) {
              const std::string request = c.ReceiveUntil(",;", 2000ms);
              if (!request.empty() && !answer.empty())
                  c.Send(answer);
              {
                  std::lock_guard<std::mutex> guard(mutex);
                  received[index] = request;
              }
              c.WaitForClientClose(3000ms);
          })
    {
    }
    std::string answer;
    std::mutex mutex;
    std::map<int, std::string> received;
    ScriptedPeer peer;
};

TEST(CommandExports, ReadRobotFlagsReplies)
{
    struct Case
    {
        std::string reply;
        int result;
        std::vector<int> flags;
    };
    const std::vector<int> untouched(8, -7);
    const Case cases[] = {
        {"ReadRobotState,OK,1,2,3,4,5,6,7,8,9,;", 0, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"ReadRobotState,OK,1,2,3,4,5,6,7,8,;", 0, untouched},
        {"ReadRobotState,Fail,35,;", 35, untouched},
        {"ReadRobotState,Fail,x,;", 20007, untouched},
        {"ReadRobotState,;", 20007, untouched},
        {"", 20007, untouched},
    };
    for (const Case& c : cases) {
        CommandPort zps("127.0.0.84", c.reply);
        ASSERT_TRUE(zps.peer.Listening());
        ASSERT_EQ(VXRPC_InitClient("127.0.0.84", vx::kRpcPort, vx::kCommandPort), 0);
        ASSERT_TRUE(zps.peer.WaitForAccepted(2));

        // The controller's answer may come after the short reply wait; the
        // next call then reads it, as the scope page's timer does.
        int f[8] = {-7, -7, -7, -7, -7, -7, -7, -7};
        int result = 20007;
        for (int i = 0; i < 40 && result == 20007; ++i) {
            result = VXIF_ReadRobotFlags(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
            if (result == 20007)
                std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(result, c.result) << c.reply;
        EXPECT_EQ(Ints(f, 8), c.flags) << c.reply;
        VXRPC_InitClient("127.0.0.85", vx::kRpcPort, vx::kCommandPort); // nothing there: both connections drop
        zps.peer.Stop();
        EXPECT_EQ(zps.received[1], "ReadRobotState,0,;") << "sent on the first connection";
        EXPECT_EQ(zps.received[0], "") << "the second connection carries nothing";
    }
}

// ------------------------------------------------------------ dashboard

// A dashboard that records subscriptions and answers a fetch with the reply
// the test queued, once.
struct DashboardPort
{
    explicit DashboardPort(const char* address)
        : peer(address, vx::kDashboardPort, [this](PeerConnection& c, int) {
              while (!closeNow.IsSet() && !c.Stopping()) {
                  const std::string packet = c.ReceiveExactly(160, 20ms);
                  if (packet.size() != 160)
                      continue;
                  std::uint32_t command = 0;
                  std::memcpy(&command, packet.data() + 12, 4);
                  std::string reply;
                  {
                      std::lock_guard<std::mutex> guard(mutex);
                      packets.push_back(packet);
                      if (command == 2)
                          reply.swap(pending);
                  }
                  if (!reply.empty())
                      c.Send(reply);
              }
              c.Close();
          })
    {
    }
    void Queue(const std::string& reply)
    {
        std::lock_guard<std::mutex> guard(mutex);
        pending = reply;
    }
    std::vector<std::string> Packets()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return packets;
    }
    std::mutex mutex;
    std::string pending;
    std::vector<std::string> packets;
    Event closeNow;
    ScriptedPeer peer;
};

// Fetches like the collector does until the queued reply has come in.
bool FetchUntilAnswered(double& cpu, std::uint32_t& memory, std::vector<_ST_ReadScopeData>& rows)
{
    const double unset = -1.0;
    cpu = unset;
    for (int i = 0; i < 100 && cpu == unset; ++i) {
        EXPECT_EQ(VX_ReadScopeData(&cpu, &memory, &rows), 0);
        if (cpu == unset)
            std::this_thread::sleep_for(5ms);
    }
    return cpu != unset;
}

TEST(DashboardExports, SubscribeFetchAndNoticeTheClose)
{
    DashboardPort zps("127.0.0.86");
    ASSERT_TRUE(zps.peer.Listening());
    ASSERT_EQ(VX_InitDashboardClient("127.0.0.86"), 0);
    EXPECT_TRUE(VX_IsConnectDashboard());
    EXPECT_TRUE(VX_IsConnectDashboard()) << "open and silent is connected";

    std::vector<int> indexes{49, 50};
    EXPECT_EQ(VX_SetScopeIndexs(indexes), 0);
    std::vector<int> tooMany(37, 49);
    EXPECT_EQ(VX_SetScopeIndexs(tooMany), -1);

    // N = 150: exactly 100 rows appended after the caller's own.
    zps.Queue(ScopeReplyBytes(17.125, 524288u, 150, 150));
    double cpu;
    std::uint32_t memory = 0;
    std::vector<_ST_ReadScopeData> rows(3);
    ASSERT_TRUE(FetchUntilAnswered(cpu, memory, rows));
    EXPECT_EQ(cpu, 17.125);
    EXPECT_EQ(memory, 524288u);
    ASSERT_EQ(rows.size(), 103u);
    EXPECT_EQ(rows[3].time, RowTime(0));
    EXPECT_EQ(rows[102].time, RowTime(99));
    EXPECT_EQ(rows[102].values[35], RowValue(99, 35));

    // N = 0: both figures set, no row.
    zps.Queue(ScopeReplyBytes(2.5, 1024u, 0, 0));
    rows.clear();
    ASSERT_TRUE(FetchUntilAnswered(cpu, memory, rows));
    EXPECT_EQ(cpu, 2.5);
    EXPECT_EQ(memory, 1024u);
    EXPECT_TRUE(rows.empty());

    // No reply: the caller's figures stay.
    cpu = 8.0;
    memory = 8;
    EXPECT_EQ(VX_ReadScopeData(&cpu, &memory, &rows), 0);
    EXPECT_EQ(cpu, 8.0);
    EXPECT_EQ(memory, 8u);
    EXPECT_TRUE(rows.empty());

    const auto packets = zps.Packets();
    ASSERT_GE(packets.size(), 3u);
    std::int32_t first[2];
    std::memcpy(first, packets[0].data() + 16, 8);
    EXPECT_EQ(packets[0].compare(0, 4, "LTBR"), 0);
    EXPECT_EQ(first[0], 49);
    EXPECT_EQ(first[1], 50);

    zps.closeNow.Set();
    bool noticed = false;
    const auto deadline = Clock::now() + 3000ms;
    while (!noticed && Clock::now() < deadline)
        noticed = !VX_IsConnectDashboard();
    EXPECT_TRUE(noticed);
    EXPECT_FALSE(VX_IsConnectDashboard());
    // After the close, fetches and subscriptions fail quietly and the process
    // survives sends to the closed connection.
    EXPECT_EQ(VX_SetScopeIndexs(indexes), 0);
    EXPECT_EQ(VX_ReadScopeData(&cpu, &memory, &rows), 0);
    EXPECT_EQ(cpu, 8.0);
    EXPECT_TRUE(rows.empty());
}

TEST(DashboardExports, InitWhereNothingListens)
{
    EXPECT_NE(VX_InitDashboardClient("127.0.0.87"), 0);
    EXPECT_FALSE(VX_IsConnectDashboard());
}

// ------------------------------------------------------------ address text

// The address dialog passes the text as typed: an address with blanks around
// it, or in one of the short forms inet_addr reads, reaches all three ports
// of the same controller; text after the address is no address.
TEST(AddressExports, TypedAddressReachesAllThreePorts)
{
    RpcResponder rpc("127.0.0.88", vx::kRpcPort);
    rpc.Answer("ReadCurEncode", IntArrayResponse({1, 2, 3, 4, 5, 6}));
    const auto waitForClose = [](PeerConnection& c, int) { c.WaitForClientClose(3000ms); };
    ScriptedPeer command("127.0.0.88", vx::kCommandPort, waitForClose);
    ScriptedPeer dashboard("127.0.0.88", vx::kDashboardPort, waitForClose);
    ASSERT_TRUE(rpc.Listening() && command.Listening() && dashboard.Listening());

    int commandConnections = 0;
    int dashboardConnections = 0;
    std::size_t rpcCalls = 0;
    for (const char* typed : {"127.0.0.88 ", " 127.0.0.88", "\t127.0.0.88\r\n", "127.0.88", "0x7f.0.0.0130 "}) {
        ASSERT_EQ(VXRPC_InitClient(typed, vx::kRpcPort, vx::kCommandPort), 0);
        commandConnections += 2;
        EXPECT_TRUE(command.WaitForAccepted(commandConnections)) << "'" << typed << "'";
        int v[6] = {};
        EXPECT_EQ(VXRPC_ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 0) << "'" << typed << "'";
        EXPECT_EQ(rpc.Calls().size(), ++rpcCalls) << "'" << typed << "'";
        EXPECT_EQ(VX_InitDashboardClient(typed), 0) << "'" << typed << "'";
        EXPECT_TRUE(dashboard.WaitForAccepted(++dashboardConnections)) << "'" << typed << "'";
        EXPECT_TRUE(VX_IsConnectDashboard()) << "'" << typed << "'";
    }

    for (const char* typed : {"127.0.0.88 1", "127.0.0.88x", "", "  "}) {
        VXRPC_InitClient(typed, vx::kRpcPort, vx::kCommandPort);
        EXPECT_NE(VX_InitDashboardClient(typed), 0) << "'" << typed << "'";
        EXPECT_FALSE(VX_IsConnectDashboard()) << "'" << typed << "'";
    }
    int v[6] = {};
    EXPECT_EQ(VXRPC_ReadCurEncode(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), -1) << "blanks only";
    EXPECT_EQ(command.Accepted(), commandConnections);
    EXPECT_EQ(dashboard.Accepted(), dashboardConnections);
    EXPECT_EQ(rpc.Calls().size(), rpcCalls);
}

} // namespace
