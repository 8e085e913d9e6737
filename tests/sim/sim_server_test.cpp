// The simulator's servers seen from the wire: dashboard rows and their
// faults, the text command port, XML-RPC over raw HTTP, binding, abusive
// clients, and the program's own start and stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>

#include "SimModel.h"
#include "SimProcess.h"
#include "SimProtocol.h"
#include "SimServer.h"
#include "SimTestSocket.h"
#include "VX_Ports.h"

using namespace zps;
using namespace std::chrono_literals;
using simtest::Client;

namespace {

std::unique_ptr<Simulator> startSim(const std::string& address, std::vector<std::string> args = {})
{
    SimOptions o;
    std::string error;
    args.insert(args.begin(), {"--address", address});
    if (!parseOptions(args, o, error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    auto sim = std::make_unique<Simulator>(o);
    if (!sim->start(error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return sim;
}

DashRequest subscription(std::initializer_list<int32_t> indexes)
{
    DashRequest r;
    r.command = kSetScopeIndexes;
    int i = 0;
    for (int32_t v : indexes)
        r.indexes[i++] = v;
    return r;
}

bool subscribe(Client& c, std::initializer_list<int32_t> indexes)
{
    if (!c.send(encodeDashRequest(subscription(indexes))))
        return false;
    return c.receive(16, 3s) == buildSubscribeAck();
}

std::string requestRows(Client& c)
{
    DashRequest r;
    r.command = kReadScopeData;
    EXPECT_TRUE(c.send(encodeDashRequest(r)));
    std::string reply = c.receive(kScopeHeaderSize, 3s);
    if (reply.size() < kScopeHeaderSize)
        return reply;
    const size_t rows = getU32(&reply[28]);
    return reply + c.receive(rows * kScopeRowSize, 3s);
}

std::string xmlrpcCall(const std::string& address, const std::string& method, const std::string& params)
{
    const std::string body = "<?xml version=\"1.0\"?><methodCall><methodName>" + method +
                             "</methodName><params>" + params + "</params></methodCall>";
    Client c(address, vx::kRpcPort);
    c.send("POST /RPC2 HTTP/1.0\r\nHost: " + address + "\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body);
    return c.receiveUntilQuiet(5s, 300ms);
}

const std::string kStateReply = "ReadRobotState,OK,1,1,0,1,0,0,0,0,0,;";

std::string intParam(int v) { return "<param><value><i4>" + std::to_string(v) + "</i4></value></param>"; }

std::vector<int> intsIn(const std::string& response)
{
    std::vector<int> out;
    for (size_t at = response.find("<i4>"); at != std::string::npos; at = response.find("<i4>", at + 1))
        out.push_back(std::stoi(response.substr(at + 4)));
    for (size_t at = response.find("<int>"); at != std::string::npos; at = response.find("<int>", at + 1))
        out.push_back(std::stoi(response.substr(at + 5)));
    return out;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(SimDashboard, RowsFollowTheModelInSubscriptionOrderAtOneMillisecond)
{
    auto sim = startSim("127.0.1.101");
    ASSERT_TRUE(sim);
    Client c("127.0.1.101", vx::kDashboardPort);
    const int64_t subscribed = sim->currentSample();
    ASSERT_TRUE(subscribe(c, {49, 3, 0, 169, 999, 61, 182, 25}));
    std::this_thread::sleep_for(120ms);

    const auto first = parseScopeReply(requestRows(c));
    const int64_t now = sim->currentSample();
    ASSERT_TRUE(first);
    ASSERT_GE(first->rows.size(), 50u);
    EXPECT_LE(first->rows.size(), 2000u);
    EXPECT_GT(first->cpuLoad, 0.0);
    EXPECT_GT(first->memory, 0u);
    const int indexes[8] = {49, 3, 0, 169, 999, 61, 182, 25};
    for (size_t r = 0; r < first->rows.size(); ++r) {
        const auto& row = first->rows[r];
        if (r > 0) {
            ASSERT_EQ(row[0], first->rows[r - 1][0] + 1) << "row " << r;
        }
        const int64_t k = static_cast<int64_t>(row[0]);
        for (int slot = 0; slot < 8; ++slot)
            ASSERT_EQ(row[1 + slot], channelValue(indexes[slot], k)) << "slot " << slot << " row " << r;
        for (int slot = 8; slot < 36; ++slot)
            ASSERT_EQ(row[1 + slot], 0.0);
    }
    // Rows of the time since the subscription, none from the future (how
    // close to the present depends on how busy the machine is).
    EXPECT_GE(first->rows.front()[0], static_cast<double>(subscribed));
    EXPECT_LE(first->rows.back()[0], static_cast<double>(now));

    // The next fetch goes on where this one stopped.
    std::this_thread::sleep_for(30ms);
    const auto second = parseScopeReply(requestRows(c));
    ASSERT_TRUE(second);
    ASSERT_FALSE(second->rows.empty());
    EXPECT_EQ(second->rows.front()[0], first->rows.back()[0] + 1);
}

TEST(SimDashboard, UnfetchedRowsAreCappedAtTheBacklog)
{
    auto sim = startSim("127.0.1.102", {"--backlog-ms", "200"});
    ASSERT_TRUE(sim);
    Client c("127.0.1.102", vx::kDashboardPort);
    ASSERT_TRUE(subscribe(c, {43}));
    std::this_thread::sleep_for(700ms);
    const auto reply = parseScopeReply(requestRows(c));
    ASSERT_TRUE(reply);
    EXPECT_LE(reply->rows.size(), 200u);
    EXPECT_GE(reply->rows.size(), 150u);
    EXPECT_LE(reply->rows.back()[0], static_cast<double>(sim->currentSample()));
}

TEST(SimDashboard, ANewSubscriptionDeliversOnlyRowsTakenAfterIt)
{
    auto sim = startSim("127.0.1.103");
    ASSERT_TRUE(sim);
    Client c("127.0.1.103", vx::kDashboardPort);
    ASSERT_TRUE(subscribe(c, {49}));
    std::this_thread::sleep_for(200ms);
    const int64_t before = sim->currentSample();
    ASSERT_TRUE(subscribe(c, {50, 49}));
    std::this_thread::sleep_for(50ms);
    const auto reply = parseScopeReply(requestRows(c));
    ASSERT_TRUE(reply);
    ASSERT_FALSE(reply->rows.empty());
    EXPECT_GE(reply->rows.front()[0], static_cast<double>(before));
    const auto& row = reply->rows.front();
    EXPECT_EQ(row[1], channelValue(50, static_cast<int64_t>(row[0])));
    EXPECT_EQ(row[2], channelValue(49, static_cast<int64_t>(row[0])));
}

TEST(SimDashboard, FaultyRepliesLookAsAsked)
{
    auto sim = startSim("127.0.1.104");
    ASSERT_TRUE(sim);
    Client c("127.0.1.104", vx::kDashboardPort);
    ASSERT_TRUE(subscribe(c, {49, 50}));
    std::this_thread::sleep_for(60ms);

    DashRequest fetch;
    fetch.command = kReadScopeData;
    ASSERT_EQ(sim->control("dash-mode garbage"), "ok");
    ASSERT_TRUE(c.send(encodeDashRequest(fetch)));
    const std::string garbage = c.receiveUntilQuiet(3s, 200ms);
    ASSERT_GE(garbage.size(), 32u);
    EXPECT_NE(garbage.substr(0, 4), "LTBR");
    EXPECT_FALSE(parseScopeReply(garbage)) << "announces more rows than follow";

    ASSERT_EQ(sim->control("dash-mode truncated"), "ok");
    std::this_thread::sleep_for(60ms);
    ASSERT_TRUE(c.send(encodeDashRequest(fetch)));
    const std::string cut = c.receiveUntilQuiet(3s, 200ms);
    ASSERT_GE(cut.size(), 32u);
    EXPECT_EQ(cut.substr(0, 4), "LTBR");
    EXPECT_GT(getU32(&cut[28]), 0u);
    EXPECT_FALSE(parseScopeReply(cut)) << "the last announced row must be missing";
    EXPECT_NE((cut.size() - 32) % kScopeRowSize, 0u) << "cut inside a row";

    ASSERT_EQ(sim->control("dash-mode silent"), "ok");
    ASSERT_TRUE(c.send(encodeDashRequest(fetch)));
    EXPECT_EQ(c.receive(1, 300ms), "");
    ASSERT_TRUE(c.send(encodeDashRequest(subscription({1}))));
    EXPECT_EQ(c.receive(1, 300ms), "");

    ASSERT_EQ(sim->control("dash-mode normal"), "ok");
    EXPECT_TRUE(parseScopeReply(requestRows(c))) << "the connection survives the faults";
}

TEST(SimDashboard, DelayedRepliesArriveLate)
{
    auto sim = startSim("127.0.1.105", {"--dash-delay", "300"});
    ASSERT_TRUE(sim);
    Client c("127.0.1.105", vx::kDashboardPort);
    DashRequest fetch;
    fetch.command = kReadScopeData;
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.send(encodeDashRequest(fetch)));
    EXPECT_EQ(c.receive(1, 150ms), "");
    const std::string reply = c.receive(32, 5s);
    EXPECT_EQ(reply.size(), 32u);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 250ms);
}

TEST(SimDashboard, SplitRepliesComeInPiecesWithGaps)
{
    auto sim = startSim("127.0.1.106", {"--dash-split", "2048:40"});
    ASSERT_TRUE(sim);
    Client c("127.0.1.106", vx::kDashboardPort);
    ASSERT_TRUE(subscribe(c, {49})); // 16 bytes: one piece
    // Rows gather at 1 kHz; seven already make a reply of two pieces, so a
    // simulator slowed by a busy machine still gives enough.
    std::this_thread::sleep_for(100ms);
    DashRequest fetch;
    fetch.command = kReadScopeData;
    ASSERT_TRUE(c.send(encodeDashRequest(fetch)));
    std::string reply = c.receive(32, 3s);
    ASSERT_EQ(reply.size(), 32u);
    const auto firstBytes = std::chrono::steady_clock::now();
    const size_t rows = getU32(&reply[28]);
    ASSERT_GE(rows, 7u);
    reply += c.receive(rows * kScopeRowSize, 10s);
    const auto whole = std::chrono::steady_clock::now();
    ASSERT_TRUE(parseScopeReply(reply));
    const size_t pieces = (reply.size() + 2047) / 2048;
    EXPECT_GE(whole - firstBytes, std::chrono::milliseconds(30 * (pieces - 1)));
}

TEST(SimDashboard, ClosesTheConnectionWhenAskedTo)
{
    auto sim = startSim("127.0.1.107", {"--dash-close-after", "250"});
    ASSERT_TRUE(sim);
    const auto opened = std::chrono::steady_clock::now();
    Client c("127.0.1.107", vx::kDashboardPort);
    ASSERT_TRUE(c.connected());
    EXPECT_TRUE(c.waitClosed(5s));
    EXPECT_GE(std::chrono::steady_clock::now() - opened, 200ms);

    // close-dash drops open dashboard connections at once, and nothing else.
    ASSERT_EQ(sim->control("dash-close-after 0"), "ok");
    Client d("127.0.1.107", vx::kDashboardPort), cmd("127.0.1.107", vx::kCommandPort);
    ASSERT_TRUE(subscribe(d, {1}));
    ASSERT_EQ(sim->control("close-dash"), "ok");
    EXPECT_TRUE(d.waitClosed(3s));
    ASSERT_TRUE(cmd.send("ReadRobotState,0,;"));
    EXPECT_EQ(cmd.receive(kStateReply.size(), 3s), "ReadRobotState,OK,1,1,0,1,0,0,0,0,0,;");
}

TEST(SimCommandPort, AnswersRobotStateAndUnknownCommands)
{
    auto sim = startSim("127.0.1.108");
    ASSERT_TRUE(sim);
    Client first("127.0.1.108", vx::kCommandPort), second("127.0.1.108", vx::kCommandPort);
    ASSERT_TRUE(first.connected());
    ASSERT_TRUE(second.connected());

    struct Case
    {
        const char* control;
        const char* request;
        const char* reply;
    };
    const Case cases[] = {
        {nullptr, "ReadRobotState,0,;", "ReadRobotState,OK,1,1,0,1,0,0,0,0,0,;"},
        {"robot-error on", "ReadRobotState,0,;", "ReadRobotState,OK,1,0,1,1,0,0,0,0,0,;"},
        {"robot-error off", "ReadRobotState,0,;", "ReadRobotState,OK,1,1,0,1,0,0,0,0,0,;"},
        {nullptr, "MoveJ,0,1,2,;", "MoveJ,Fail,1001,;"},
        {nullptr, ",0,;", ",Fail,1002,;"},
    };
    for (const auto& c : cases) {
        if (c.control) {
            ASSERT_EQ(sim->control(c.control), "ok");
        }
        for (Client* client : {&first, &second}) {
            ASSERT_TRUE(client->send(c.request));
            EXPECT_EQ(client->receive(std::strlen(c.reply), 3s), c.reply) << c.request;
        }
    }
}

TEST(SimCommandPort, FaultModesAndSplitReplies)
{
    auto sim = startSim("127.0.1.109");
    ASSERT_TRUE(sim);
    Client c("127.0.1.109", vx::kCommandPort);
    const std::string full = "ReadRobotState,OK,1,1,0,1,0,0,0,0,0,;";

    ASSERT_EQ(sim->control("cmd-mode garbage"), "ok");
    ASSERT_TRUE(c.send("ReadRobotState,0,;"));
    const std::string garbage = c.receiveUntilQuiet(3s, 100ms);
    EXPECT_FALSE(garbage.empty());
    EXPECT_EQ(garbage.find(','), std::string::npos);

    ASSERT_EQ(sim->control("cmd-mode truncated"), "ok");
    ASSERT_TRUE(c.send("ReadRobotState,0,;"));
    EXPECT_EQ(c.receiveUntilQuiet(3s, 100ms), full.substr(0, full.size() / 2));

    ASSERT_EQ(sim->control("cmd-mode silent"), "ok");
    ASSERT_TRUE(c.send("ReadRobotState,0,;"));
    EXPECT_EQ(c.receive(1, 300ms), "");

    ASSERT_EQ(sim->control("cmd-mode normal"), "ok");
    ASSERT_EQ(sim->control("cmd-split 10:40"), "ok");
    ASSERT_TRUE(c.send("ReadRobotState,0,;"));
    const std::string firstPiece = c.receive(10, 3s);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(c.receive(1, 20ms), "") << "the second piece comes after a gap";
    const std::string rest = c.receive(full.size() - firstPiece.size(), 3s);
    EXPECT_EQ(firstPiece + rest, full);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 100ms); // three gaps of 40 ms after the first piece
}

TEST(SimServing, BindsOnlyItsOwnAddressAndOnlyTheEnabledPorts)
{
    auto sim = startSim("127.0.1.110", {"--no-cmd"});
    ASSERT_TRUE(sim);
    Client c;
    EXPECT_EQ(c.connectTo("127.0.1.110", vx::kDashboardPort), 0);
    EXPECT_EQ(c.connectTo("127.0.1.110", vx::kRpcPort), 0);
    EXPECT_EQ(c.connectTo("127.0.1.110", vx::kCommandPort), ECONNREFUSED);
    EXPECT_EQ(c.connectTo("127.0.1.199", vx::kDashboardPort), ECONNREFUSED) << "listening on more than its address";
}

TEST(SimServing, SurvivesAbusiveClients)
{
    auto sim = startSim("127.0.1.111");
    ASSERT_TRUE(sim);
    {
        // Half requests, floods without terminators, and clients that leave
        // before reading a large reply.
        Client half("127.0.1.111", vx::kDashboardPort);
        half.send(encodeDashRequest(subscription({1})).substr(0, 77));
        Client flood("127.0.1.111", vx::kCommandPort);
        flood.send(std::string(100000, 'x'));
        for (int i = 0; i < 10; ++i) {
            Client leaver("127.0.1.111", vx::kDashboardPort);
            ASSERT_TRUE(subscribe(leaver, {49, 50, 51, 52, 53, 54}));
            DashRequest fetch;
            fetch.command = kReadScopeData;
            leaver.send(encodeDashRequest(fetch));
        }
        Client rpc("127.0.1.111", vx::kRpcPort);
        rpc.send("POST /RPC2 HTTP/1.0\r\nContent-Length: 100000\r\n\r\n<?xml");
        flood.send("tail;ReadRobotState,0,;");
        EXPECT_EQ(flood.receive(kStateReply.size(), 3s), "ReadRobotState,OK,1,1,0,1,0,0,0,0,0,;");
    }
    Client c("127.0.1.111", vx::kDashboardPort);
    ASSERT_TRUE(subscribe(c, {49}));
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(parseScopeReply(requestRows(c)));
    EXPECT_NE(xmlrpcCall("127.0.1.111", "ReadVersion", "").find("methodResponse"), std::string::npos);
}

TEST(SimXmlRpc, AnswersOverHttpAndFaultsOnWrongParameters)
{
    auto sim = startSim("127.0.1.112");
    ASSERT_TRUE(sim);
    const std::string version = xmlrpcCall("127.0.1.112", "ReadVersion", "");
    EXPECT_NE(version.find("200 OK"), std::string::npos);
    EXPECT_EQ(intsIn(version).size(), 7u);

    std::string params = intParam(0);
    for (int v : {11, -22, 33, -44, 55, -66})
        params += intParam(v);
    EXPECT_EQ(xmlrpcCall("127.0.1.112", "SetHomeEncode", params).find("<fault>"), std::string::npos);
    EXPECT_EQ(intsIn(xmlrpcCall("127.0.1.112", "ReadMachineOrigin", "")), (std::vector<int>{11, -22, 33, -44, 55, -66}));

    const std::pair<const char*, std::string> faults[] = {
        {"SetHomeEncode", intParam(0) + intParam(1)},
        {"SetHomeEncode", intParam(1) + intParam(1) + intParam(2) + intParam(3) + intParam(4) + intParam(5) + intParam(6)},
        {"ReadVersion", intParam(1)},
        {"StartScript", intParam(0) + intParam(0)},
        {"StartScript", intParam(0) + intParam(0) + intParam(5)},
        {"NoSuchMethod", ""},
    };
    for (const auto& f : faults)
        EXPECT_NE(xmlrpcCall("127.0.1.112", f.first, f.second).find("<fault>"), std::string::npos) << f.first;
    EXPECT_EQ(intsIn(xmlrpcCall("127.0.1.112", "ReadMachineOrigin", "")), (std::vector<int>{11, -22, 33, -44, 55, -66}))
        << "a refused call changes nothing";
}

TEST(SimXmlRpc, SpeaksEnoughHttp)
{
    auto sim = startSim("127.0.1.117");
    ASSERT_TRUE(sim);
    const std::string call = "<?xml version=\"1.0\"?><methodCall><methodName>ReadVersion</methodName></methodCall>";
    {
        // curl asks before sending a larger body.
        Client c("127.0.1.117", vx::kRpcPort);
        c.send("POST /RPC2 HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(call.size()) +
               "\r\nExpect: 100-continue\r\n\r\n");
        EXPECT_EQ(c.receive(25, 3s), "HTTP/1.1 100 Continue\r\n\r\n");
        c.send(call);
        const std::string reply = c.receiveUntilQuiet(3s, 200ms);
        EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK", 0), 0u);
        EXPECT_EQ(intsIn(reply).size(), 7u);
    }
    const std::pair<std::string, const char*> bad[] = {
        {"GET /RPC2 HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405"},
        {"POST /other HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 404"},
        {"POST /RPC2 HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 411"},
        {"POST /RPC2 HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n", "HTTP/1.1 413"},
        {"NONSENSE\r\n\r\n", "HTTP/1.1 400"},
        {"POST /RPC2 HTTP/1.0\r\nContent-Length: 9\r\n\r\nnot xml!!", "HTTP/1.1 200"}, // an XML-RPC fault
    };
    for (const auto& b : bad) {
        Client c("127.0.1.117", vx::kRpcPort);
        c.send(b.first);
        EXPECT_EQ(c.receiveUntilQuiet(3s, 200ms).substr(0, 12), b.second) << b.first;
    }
}

TEST(SimXmlRpc, ScriptsAreLoggedWholeUnlessRefused)
{
    const std::string log = "/tmp/sim_server_test_script_" + std::to_string(::getpid()) + ".txt";
    std::remove(log.c_str());
    auto sim = startSim("127.0.1.113", {"--log-scripts", log});
    ASSERT_TRUE(sim);
    const std::string script = "MoveJ(1, 2)\r\n\tif a < b && c > d:\n\"quoted\" 'x'\r\n";
    std::string escaped;
    for (char ch : script)
        escaped += ch == '<' ? "&lt;" : ch == '>' ? "&gt;" : ch == '&' ? "&amp;" : ch == '\r' ? "&#x0d;" : std::string(1, ch);
    const std::string params =
        intParam(0) + intParam(0) + "<param><value><string>" + escaped + "</string></value></param>";
    EXPECT_EQ(xmlrpcCall("127.0.1.113", "StartScript", params).find("<fault>"), std::string::npos);
    EXPECT_EQ(readFile(log), script);
    EXPECT_EQ(sim->lastScript(), script);

    ASSERT_EQ(sim->control("refuse-scripts on"), "ok");
    const std::string other = intParam(0) + intParam(0) + "<param><value><string>other</string></value></param>";
    EXPECT_NE(xmlrpcCall("127.0.1.113", "StartScript", other).find("<fault>"), std::string::npos);
    EXPECT_EQ(readFile(log), script) << "a refused script is not logged";
    std::remove(log.c_str());
}

TEST(SimXmlRpc, FaultModesBypassTheHttpServer)
{
    auto sim = startSim("127.0.1.114", {"--rpc-mode", "garbage"});
    ASSERT_TRUE(sim);
    const std::string garbage = xmlrpcCall("127.0.1.114", "ReadVersion", "");
    EXPECT_NE(garbage.find("200 OK"), std::string::npos);
    EXPECT_EQ(garbage.find("methodResponse"), std::string::npos);

    ASSERT_EQ(sim->control("rpc-mode truncated"), "ok");
    const std::string cut = xmlrpcCall("127.0.1.114", "ReadVersion", "");
    const size_t body = cut.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    const size_t announced = std::stoul(cut.substr(cut.find("Content-Length: ") + 16));
    EXPECT_LT(cut.size() - body - 4, announced);

    ASSERT_EQ(sim->control("rpc-mode wrong-shape"), "ok");
    EXPECT_EQ(intsIn(xmlrpcCall("127.0.1.114", "ReadMachineOrigin", "")).size(), 7u);

    ASSERT_EQ(sim->control("rpc-mode silent"), "ok");
    Client c("127.0.1.114", vx::kRpcPort);
    c.send("POST /RPC2 HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(c.receive(1, 400ms), "");
    EXPECT_FALSE(c.waitClosed(100ms)) << "a silent controller keeps the connection open";
}

TEST(SimProgram, StartsStopsAndReportsBadUse)
{
    {
        vxtest::SimProcess sim("127.0.1.115", {"--verbose"});
        ASSERT_TRUE(sim.ok()) << sim.error();
        EXPECT_TRUE(sim.command("robot-error on"));
        EXPECT_FALSE(sim.command("address 1.2.3.4"));
        EXPECT_FALSE(sim.command("no-such-option"));
        Client c("127.0.1.115", vx::kCommandPort);
        c.send("ReadRobotState,0,;");
        EXPECT_EQ(c.receive(kStateReply.size(), 3s), "ReadRobotState,OK,1,0,1,1,0,0,0,0,0,;");

        // A second simulator cannot take the same ports.
        vxtest::SimProcess clash("127.0.1.115");
        EXPECT_FALSE(clash.ok());

        // Idle a while first: every thread must still notice the stop.
        std::this_thread::sleep_for(1500ms);
        const auto t0 = std::chrono::steady_clock::now();
        const int status = sim.stop();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(c.connectTo("127.0.1.115", vx::kCommandPort), ECONNREFUSED);
    }
    for (const auto& args : std::vector<std::pair<std::string, int>>{{"--help", 0}, {"--address nowhere", 2}}) {
        const std::string cmd = vxtest::SimProcess::binary() + " " + args.first + " >/dev/null 2>&1";
        const int status = std::system(cmd.c_str());
        EXPECT_EQ(WEXITSTATUS(status), args.second) << args.first;
    }
}

TEST(SimProgram, QuitsOnCommandOrWhenItsControlInputEnds)
{
    vxtest::SimProcess sim("127.0.1.116");
    ASSERT_TRUE(sim.ok()) << sim.error();
    EXPECT_TRUE(sim.command("quit"));
    int status = -1;
    ASSERT_TRUE(sim.exited(3s, &status));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // End of input: the test that drove it is gone.
    const std::string cmd = "timeout 10 " + vxtest::SimProcess::binary() +
                            " --address 127.0.1.116 --control-stdin </dev/null >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 0) << "124 means it outlived its input";
}
