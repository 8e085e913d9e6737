// The connection class and the dashboard and command clients against scripted
// loopback peers. Each test uses a loopback address of its own
// (127.0.0.2 .. 127.0.0.29), so a test's leftovers never meet the next one.
#include "LinkPeers.h"
#include "VX_CommandClient.h"
#include "VX_DashboardClient.h"
#include "VX_Ports.h"
#include "VX_Protocol.h"
#include "VX_SocketClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace linktest;

namespace {

constexpr std::uint16_t kPort = vx::kDashboardPort;

// Connects `client` to a peer and waits until the peer has the connection.
void ConnectTo(VX_SocketClient& client, const char* address, ScriptedPeer& peer)
{
    ASSERT_TRUE(peer.Listening()) << address;
    ASSERT_EQ(client.Connect(address, kPort), 0);
    ASSERT_TRUE(peer.WaitForAccepted(1));
}

bool IsConnectedWithin(VX_SocketClient& client, bool expected, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (client.IsConnected() == expected)
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return client.IsConnected() == expected;
}

// ------------------------------------------------------------ connect

TEST(SocketConnect, NothingListeningGivesPlatformError)
{
    VX_SocketClient client;
    EXPECT_EQ(client.Connect("127.0.0.2", kPort), ECONNREFUSED);
    EXPECT_EQ(client.Socket(), -1);
    EXPECT_FALSE(client.IsConnected());
}

TEST(SocketConnect, TextThatNamesNoIpv4AddressIsRefused)
{
    VX_SocketClient client;
    for (const char* address : {"", " ", "localhost", "256.1.1.1", "1.2.3.4.5", "127.0.0.1 2", "127.0.0.1x",
                                "::1", "1.2.3.256", "0x1.0x2.0x3.0x100"}) {
        EXPECT_EQ(client.Connect(address, kPort), EINVAL) << "'" << address << "'";
        EXPECT_EQ(client.Socket(), -1);
    }
    EXPECT_EQ(client.Connect(nullptr, kPort), EINVAL);
}

TEST(SocketConnect, ReconnectClosesTheOldConnection)
{
    Event firstClosed;
    ScriptedPeer peer("127.0.0.3", kPort, [&](PeerConnection& c, int index) {
        if (index == 0 && c.WaitForClientClose())
            firstClosed.Set();
        else
            c.WaitForClientClose();
    });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.3", peer);
    const int firstSocket = client.Socket();
    ASSERT_EQ(client.Connect("127.0.0.3", kPort), 0);
    EXPECT_TRUE(firstClosed.Wait()) << "the first connection must be closed by the reconnect";
    EXPECT_TRUE(peer.WaitForAccepted(2));
    EXPECT_GE(client.Socket(), 0);
    EXPECT_TRUE(client.IsConnected());
    (void)firstSocket;
    client.Disconnect();
    EXPECT_EQ(client.Socket(), -1);
    EXPECT_FALSE(client.IsConnected());
}

// ------------------------------------------------------------ close detection

TEST(SocketIsConnected, TrueWhileOpenAndSilentFalseAfterPeerClose)
{
    Event closeNow;
    ScriptedPeer peer("127.0.0.4", kPort, [&](PeerConnection& c, int) {
        closeNow.Wait(5000ms);
        c.Close();
    });
    VX_SocketClient client;
    EXPECT_FALSE(client.IsConnected()) << "never connected";
    ConnectTo(client, "127.0.0.4", peer);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(client.IsConnected()) << "open, silent controller, check " << i;

    closeNow.Set();
    EXPECT_TRUE(IsConnectedWithin(client, false, 2000ms));
    EXPECT_EQ(client.Socket(), -1) << "a noticed close disconnects";
    EXPECT_FALSE(client.IsConnected());
}

TEST(SocketIsConnected, CloseIsNoticedAtTheFirstCheckAfterIt)
{
    ScriptedPeer peer("127.0.0.5", kPort, [&](PeerConnection& c, int) { c.Close(); });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.5", peer);
    // Once the close has reached the client (the socket reads as readable),
    // one check must see it.
    ASSERT_TRUE(WaitReadable(client.Socket()));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(client.IsConnected());
}

TEST(SocketIsConnected, CloseWithUnreadReplyBytesIsNoticedAndBytesAreNotTaken)
{
    Event sent;
    ScriptedPeer peer("127.0.0.6", kPort, [&](PeerConnection& c, int) {
        c.Send("pending");
        sent.Set();
        std::this_thread::sleep_for(300ms);
        c.Close();
    });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.6", peer);
    ASSERT_TRUE(sent.Wait());
    ASSERT_TRUE(WaitReadable(client.Socket()));
    // Data waiting is no close; the check only peeks.
    EXPECT_TRUE(client.IsConnected());
    char buffer[16];
    EXPECT_EQ(::recv(client.Socket(), buffer, sizeof buffer, MSG_PEEK), 7);
    EXPECT_TRUE(IsConnectedWithin(client, false, 2000ms));
}

// ------------------------------------------------------------ exchange

TEST(SocketExchange, ReplyInTwoPiecesOneMillisecondApartIsDeliveredWhole)
{
    const std::string first(700, 'a');
    const std::string second = std::string("\0b\0", 3) + std::string(500, 'c');
    Event firstSent;
    std::string request;
    std::chrono::steady_clock::time_point secondSent{};
    ScriptedPeer peer("127.0.0.7", kPort, [&](PeerConnection& c, int) {
        // The first piece is already waiting when the exchange starts, so the
        // short reply waits cannot miss it; the second follows 1 ms after the
        // request arrives.
        c.Send(first);
        firstSent.Set();
        request = c.ReceiveExactly(5);
        std::this_thread::sleep_for(1ms);
        c.Send(second);
        secondSent = std::chrono::steady_clock::now();
        c.WaitForClientClose();
    });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.7", peer);
    ASSERT_TRUE(firstSent.Wait());
    ASSERT_TRUE(WaitReadable(client.Socket()));

    std::string reply = "old";
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Exchange("hello", 5, reply), 0);
    std::string rest;
    if (reply == first) {
        // Only a piece that came before the exchange's pause after the first
        // ended is owed to this exchange; a busy machine may have held the
        // peer back longer. Then the piece waits for the next exchange.
        ASSERT_TRUE(WaitReadable(client.Socket()));
        EXPECT_EQ(client.Exchange("again", 5, rest), 0);
    }
    client.Disconnect();
    peer.Stop();
    EXPECT_EQ(request, "hello");
    ASSERT_NE(secondSent, std::chrono::steady_clock::time_point{});
    if (secondSent - started < std::chrono::milliseconds(vx::kPieceGapMs - 1)) {
        EXPECT_EQ(reply, first + second);
    } else {
        EXPECT_EQ(reply + rest, first + second) << "a late piece is neither lost nor read twice";
    }
}

TEST(SocketExchange, TwelveThousandByteReplyIsDeliveredWhole)
{
    std::string big(12000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + 7);
    Event sent;
    ScriptedPeer peer("127.0.0.8", kPort, [&](PeerConnection& c, int) {
        c.Send(big);
        sent.Set();
        c.WaitForClientClose();
    });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.8", peer);
    ASSERT_TRUE(sent.Wait());
    ASSERT_TRUE(WaitReadable(client.Socket()));
    std::this_thread::sleep_for(20ms); // all 12,000 bytes are in the socket
    std::string reply;
    EXPECT_EQ(client.Exchange("x", 1, reply), 0);
    EXPECT_EQ(reply.size(), big.size());
    EXPECT_TRUE(reply == big);
}

TEST(SocketExchange, LatePieceIsLeftForTheNextExchange)
{
    Event firstSent, lateSent;
    std::string requests;
    ScriptedPeer peer("127.0.0.9", kPort, [&](PeerConnection& c, int) {
        c.Send("reply-1");
        firstSent.Set();
        requests += c.ReceiveExactly(4);
        std::this_thread::sleep_for(100ms); // long after the exchange ended
        c.Send("LATE");
        lateSent.Set();
        requests += c.ReceiveExactly(4);
        c.WaitForClientClose();
    });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.9", peer);
    ASSERT_TRUE(firstSent.Wait());
    ASSERT_TRUE(WaitReadable(client.Socket()));

    std::string reply;
    EXPECT_EQ(client.Exchange("req1", 4, reply), 0);
    EXPECT_EQ(reply, "reply-1");

    ASSERT_TRUE(lateSent.Wait());
    ASSERT_TRUE(WaitReadable(client.Socket()));
    EXPECT_EQ(client.Exchange("req2", 4, reply), 0);
    EXPECT_EQ(reply, "LATE");
    client.Disconnect();
    peer.Stop();
    EXPECT_EQ(requests, "req1req2");
}

TEST(SocketExchange, NoReplyKeepsTheCallersText)
{
    ScriptedPeer peer("127.0.0.10", kPort, [&](PeerConnection& c, int) { c.WaitForClientClose(); });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.10", peer);
    std::string reply = "kept";
    EXPECT_EQ(client.Exchange("ping", 4, reply), 0);
    EXPECT_EQ(reply, "kept");
}

TEST(SocketExchange, PeerCloseDuringExchangeGivesMinusOneWithTheBytesSoFar)
{
    ScriptedPeer peer("127.0.0.11", kPort, [&](PeerConnection& c, int) {
        c.Send("partial");
        c.Close();
    });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.11", peer);
    ASSERT_TRUE(WaitReadable(client.Socket()));
    std::this_thread::sleep_for(20ms);
    std::string reply;
    EXPECT_EQ(client.Exchange("ping", 4, reply), -1);
    EXPECT_EQ(reply, "partial");
    EXPECT_GE(client.Socket(), 0) << "the exchange itself does not disconnect";
    EXPECT_FALSE(client.IsConnected());
}

TEST(SocketExchange, ClosedConnectionFailsInTheSendWithAPlatformCode)
{
    VX_SocketClient client;
    std::string reply = "kept";
    EXPECT_EQ(client.Exchange("ping", 4, reply), EBADF);
    EXPECT_EQ(reply, "kept");
}

TEST(SocketExchange, SendToAClosedPeerDoesNotKillTheProcess)
{
    ScriptedPeer peer("127.0.0.12", kPort, [&](PeerConnection& c, int) { c.Close(); });
    VX_SocketClient client;
    ConnectTo(client, "127.0.0.12", peer);
    ASSERT_TRUE(WaitReadable(client.Socket()));
    // The first send may still be accepted by the kernel; a later one meets
    // the reset. Without MSG_NOSIGNAL the process would die of SIGPIPE here.
    int result = 0;
    for (int i = 0; i < 50 && result != EPIPE && result != ECONNRESET; ++i) {
        std::string reply;
        result = client.Exchange("ping", 4, reply);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(result == EPIPE || result == ECONNRESET) << result;
}

// ------------------------------------------------------------ dashboard client

std::uint32_t U32(const std::string& bytes, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

TEST(Dashboard, SubscriptionPacketsOnTheWire)
{
    std::vector<std::string> packets;
    std::mutex mutex;
    ScriptedPeer peer("127.0.0.13", kPort, [&](PeerConnection& c, int) {
        for (;;) {
            std::string packet = c.ReceiveExactly(160, 1000ms);
            if (packet.empty())
                break;
            std::lock_guard<std::mutex> guard(mutex);
            packets.push_back(packet);
        }
    });
    VX_DashboardClient dashboard;
    ASSERT_EQ(dashboard.Init("127.0.0.13"), 0);
    ASSERT_TRUE(peer.WaitForAccepted(1));

    std::vector<int> none;
    std::vector<int> two{49, 50};
    std::vector<int> tooMany(37, 5);
    std::vector<int> full(36);
    for (int i = 0; i < 36; ++i)
        full[i] = 182 - i;
    EXPECT_EQ(dashboard.SetScopeIndexes(none), 0);
    EXPECT_EQ(dashboard.SetScopeIndexes(two), 0);
    EXPECT_EQ(dashboard.SetScopeIndexes(tooMany), -1) << "37 indexes are refused";
    EXPECT_EQ(dashboard.SetScopeIndexes(full), 0);
    dashboard.Disconnect();
    peer.Stop();

    ASSERT_EQ(packets.size(), 3u) << "the refused list sends nothing";
    const std::vector<int>* lists[] = {&none, &two, &full};
    for (std::size_t p = 0; p < 3; ++p) {
        const std::string& packet = packets[p];
        ASSERT_EQ(packet.size(), 160u);
        EXPECT_EQ(packet.substr(0, 4), "LTBR");
        EXPECT_EQ(U32(packet, 4), 160u);
        EXPECT_EQ(U32(packet, 8), 148u);
        EXPECT_EQ(U32(packet, 12), 1u);
        for (std::size_t slot = 0; slot < 36; ++slot) {
            const int expected = slot < lists[p]->size() ? (*lists[p])[slot] : 0;
            EXPECT_EQ(static_cast<int>(U32(packet, 16 + slot * 4)), expected)
                << "packet " << p << " slot " << slot;
        }
    }
}

TEST(Dashboard, SubscriptionReportsOnlyWaitFailureOrClose)
{
    // Not connected: the send fails with a platform code, reported as 0.
    VX_DashboardClient idle;
    std::vector<int> indexes{1, 2};
    EXPECT_EQ(idle.SetScopeIndexes(indexes), 0);

    ScriptedPeer peer("127.0.0.14", kPort, [&](PeerConnection& c, int) {
        c.ReceiveExactly(160);
        c.Close();
    });
    VX_DashboardClient dashboard;
    ASSERT_EQ(dashboard.Init("127.0.0.14"), 0);
    ASSERT_TRUE(peer.WaitForAccepted(1));
    // The controller closes on the first packet; the exchange that meets the
    // close reports -1 (the first one may end before the close arrives).
    int result = 0;
    for (int i = 0; i < 50 && result != -1; ++i) {
        result = dashboard.SetScopeIndexes(indexes);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(result, -1);
}

TEST(Dashboard, ScopeDataReplyIsReadIntoRows)
{
    struct Case
    {
        std::uint32_t announced;
        std::size_t present;
        std::size_t cutBytes; // bytes cut off the end of the reply
        std::size_t expectedRows;
    };
    const Case cases[] = {{0, 0, 0, 0}, {3, 3, 0, 3}, {150, 150, 0, 100}, {3, 3, 100, 2}};
    for (const Case& k : cases) {
        std::string reply = ScopeReplyBytes(33.5, 4096u, k.announced, k.present);
        reply.resize(reply.size() - k.cutBytes);
        std::string request;
        Event sent;
        ScriptedPeer peer("127.0.0.15", kPort, [&](PeerConnection& c, int) {
            c.Send(reply);
            sent.Set();
            request = c.ReceiveExactly(160);
            c.WaitForClientClose();
        });
        VX_DashboardClient dashboard;
        ASSERT_EQ(dashboard.Init("127.0.0.15"), 0);
        ASSERT_TRUE(sent.Wait());
        ASSERT_TRUE(WaitReadable(dashboard.Socket()));
        std::this_thread::sleep_for(20ms);

        double cpu = -1;
        std::uint32_t memory = 1;
        std::vector<_ST_ReadScopeData> rows(1);
        EXPECT_EQ(dashboard.ReadScopeData(&cpu, &memory, &rows), 0);
        EXPECT_EQ(cpu, 33.5);
        EXPECT_EQ(memory, 4096u);
        ASSERT_EQ(rows.size(), 1 + k.expectedRows) << "N=" << k.announced;
        for (std::size_t i = 0; i < k.expectedRows; ++i) {
            EXPECT_EQ(rows[1 + i].time, RowTime(i));
            EXPECT_EQ(rows[1 + i].values[35], RowValue(i, 35));
        }
        dashboard.Disconnect();
        peer.Stop();
        ASSERT_EQ(request.size(), 160u);
        EXPECT_EQ(U32(request, 12), 2u);
        for (std::size_t at = 16; at < 160; ++at)
            ASSERT_EQ(request[at], 0) << "read request byte " << at;
    }
}

TEST(Dashboard, NoReplyLeavesTheOutputs)
{
    ScriptedPeer peer("127.0.0.16", kPort, [&](PeerConnection& c, int) { c.WaitForClientClose(); });
    VX_DashboardClient dashboard;
    ASSERT_EQ(dashboard.Init("127.0.0.16"), 0);
    double cpu = 1.25;
    std::uint32_t memory = 77;
    std::vector<_ST_ReadScopeData> rows;
    EXPECT_EQ(dashboard.ReadScopeData(&cpu, &memory, &rows), 0);
    EXPECT_EQ(cpu, 1.25);
    EXPECT_EQ(memory, 77u);
    EXPECT_TRUE(rows.empty());

    VX_DashboardClient idle;
    EXPECT_EQ(idle.ReadScopeData(&cpu, &memory, &rows), 0);
    EXPECT_EQ(cpu, 1.25);
    EXPECT_EQ(memory, 77u);
    EXPECT_TRUE(rows.empty());
}

TEST(Dashboard, InitDropsTheOldConnectionAndFailsWhereNothingListens)
{
    Event closed;
    ScriptedPeer peer("127.0.0.17", kPort, [&](PeerConnection& c, int) {
        if (c.WaitForClientClose())
            closed.Set();
    });
    VX_DashboardClient dashboard;
    ASSERT_EQ(dashboard.Init("127.0.0.17"), 0);
    ASSERT_TRUE(peer.WaitForAccepted(1));
    EXPECT_NE(dashboard.Init("127.0.0.18"), 0) << "nothing listens there";
    EXPECT_TRUE(closed.Wait()) << "the old connection is dropped first";
    EXPECT_FALSE(dashboard.IsConnected());
}

// ------------------------------------------------------------ command client

TEST(CommandClient, OpensTheSecondConnectionFirstAndCommandsGoOnTheFirst)
{
    std::mutex mutex;
    std::vector<std::uint16_t> acceptedPorts(2);
    std::vector<std::string> received(2);
    ScriptedPeer peer("127.0.0.19", vx::kCommandPort, [&](PeerConnection& c, int index) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            acceptedPorts[index] = c.RemotePort();
        }
        const std::string text = c.ReceiveUntil(",;", 1500ms);
        if (!text.empty())
            c.Send("ReadRobotState,OK,0,0,1,0,0,0,0,1,0,;");
        std::lock_guard<std::mutex> guard(mutex);
        received[index] = text;
    });
    VX_CommandClient command;
    ASSERT_EQ(command.Connect("127.0.0.19", vx::kCommandPort), 0);
    ASSERT_TRUE(peer.WaitForAccepted(2));
    std::vector<std::uint16_t> ports;
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            ports = acceptedPorts;
        }
        if (ports[0] != 0 && ports[1] != 0)
            break;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(LocalPort(command.Second().Socket()), ports[0]) << "second connection first";
    EXPECT_EQ(LocalPort(command.First().Socket()), ports[1]);

    int f[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int result = vx::kNoUsableReply;
    for (int i = 0; i < 100 && result == vx::kNoUsableReply; ++i) {
        result = command.ReadRobotState(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
        if (result == vx::kNoUsableReply)
            std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::vector<int>(f, f + 8), (std::vector<int>{0, 0, 1, 0, 0, 0, 0, 1}));
    command.Disconnect();
    peer.Stop();
    EXPECT_EQ(received[1], "ReadRobotState,0,;") << "the command goes on the first connection";
    EXPECT_EQ(received[0], "") << "the second connection carries nothing";
}

TEST(CommandClient, ExecuteOnTheSecondConnectionAndOnNoConnection)
{
    std::mutex mutex;
    std::vector<std::string> received(2);
    ScriptedPeer peer("127.0.0.20", vx::kCommandPort, [&](PeerConnection& c, int index) {
        const std::string text = c.ReceiveUntil(",;", 1500ms);
        if (!text.empty())
            c.Send("Echo,Fail,35,;");
        std::lock_guard<std::mutex> guard(mutex);
        received[index] = text;
    });
    VX_CommandClient command;
    ASSERT_EQ(command.Connect("127.0.0.20", vx::kCommandPort), 0);
    std::vector<std::string> fields;
    EXPECT_EQ(command.Execute(2, 5, "Nowhere", {}, fields), vx::kNoUsableReply);
    EXPECT_TRUE(fields.empty());
    int result = vx::kNoUsableReply;
    for (int i = 0; i < 100 && result == vx::kNoUsableReply; ++i) {
        fields.clear();
        result = command.Execute(1, 7, "Echo", {"a", "b"}, fields);
        if (result == vx::kNoUsableReply)
            std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(result, 35);
    EXPECT_EQ(fields, (std::vector<std::string>{"Echo", "Fail", "35"}));
    command.Disconnect();
    peer.Stop();
    EXPECT_EQ(received[0], "Echo,7,a,b,;");
    EXPECT_EQ(received[1], "");
}

TEST(CommandClient, FailedConnectLeavesBothClosed)
{
    // First: both open; then a connect where nothing listens closes both.
    Event closedBoth;
    std::atomic<int> closes{0};
    ScriptedPeer peer("127.0.0.21", vx::kCommandPort, [&](PeerConnection& c, int) {
        if (c.WaitForClientClose(5000ms) && ++closes == 2)
            closedBoth.Set();
    });
    VX_CommandClient command;
    ASSERT_EQ(command.Connect("127.0.0.21", vx::kCommandPort), 0);
    ASSERT_TRUE(peer.WaitForAccepted(2));
    EXPECT_EQ(command.Connect("127.0.0.22", vx::kCommandPort), ECONNREFUSED);
    EXPECT_EQ(command.First().Socket(), -1);
    EXPECT_EQ(command.Second().Socket(), -1);
    EXPECT_TRUE(closedBoth.Wait());

    int f[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(command.ReadRobotState(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]),
              vx::kNoUsableReply);
    EXPECT_EQ(std::vector<int>(f, f + 8), std::vector<int>(8, 9));
}

TEST(CommandClient, FirstConnectionFailingAfterTheSecondClosesBoth)
{
    // The second connection is made first and succeeds (the controller's
    // queue takes it); the first one then fails: the process has no
    // descriptor left for its socket. Both end closed.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    const int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(vx::kCommandPort);
    inet_pton(AF_INET, "127.0.0.23", &local.sin_addr);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    const timeval bound{10, 0};   // accept and recv below wait no longer
    setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);

    VX_CommandClient command;
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const int lowestFree = ::dup(0);   // every descriptor below it is taken
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit oneLeft = limit;
    oneLeft.rlim_cur = rlim_t(lowestFree) + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &oneLeft), 0);
    const int result = command.Connect("127.0.0.23", vx::kCommandPort);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

    EXPECT_EQ(result, EMFILE);
    EXPECT_EQ(command.First().Socket(), -1);
    EXPECT_EQ(command.Second().Socket(), -1);
    // The second connection was made, and closed again.
    const int accepted = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    setsockopt(accepted, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    char byte = 0;
    EXPECT_EQ(::recv(accepted, &byte, 1, 0), 0);
    ::close(accepted);
    ::close(listener);
}

TEST(CommandClient, MissingAddressDoesNothing)
{
    ScriptedPeer peer("127.0.0.25", vx::kCommandPort, [&](PeerConnection& c, int) { c.WaitForClientClose(); });
    VX_CommandClient command;
    ASSERT_EQ(command.Connect("127.0.0.25", vx::kCommandPort), 0);
    const int first = command.First().Socket();
    const int second = command.Second().Socket();
    EXPECT_EQ(command.Connect(nullptr, vx::kCommandPort), 0);
    EXPECT_EQ(command.Connect("", vx::kCommandPort), 0);
    EXPECT_EQ(command.First().Socket(), first);
    EXPECT_EQ(command.Second().Socket(), second);
}

} // namespace
