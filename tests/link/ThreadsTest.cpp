// A collector thread exchanging on a connection while the GUI thread checks
// it and subscribes on it. Run under ThreadSanitizer too.
// Addresses 127.0.0.70 .. 127.0.0.79.
#include "LinkPeers.h"
#include "VX_DashboardClient.h"
#include "VX_Protocol.h"
#include "VX_SocketClient.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace linktest;

namespace {

std::string Block(int n)
{
    std::string block(997, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(n * 7 + static_cast<int>(i));
    return block;
}

TEST(ConcurrentCheck, IsConnectedNeverTakesReplyBytes)
{
    constexpr int kRequests = 150;
    std::string sentByPeer;
    ScriptedPeer peer("127.0.0.70", 20003, [&](PeerConnection& c, int) {
        for (int n = 0; n < kRequests; ++n) {
            if (c.ReceiveExactly(4).size() != 4)
                return;
            const std::string block = Block(n);
            // Every third reply comes in two pieces.
            if (n % 3 == 0) {
                c.Send(block.substr(0, 300));
                std::this_thread::sleep_for(1ms);
                c.Send(block.substr(300));
            } else {
                c.Send(block);
            }
            sentByPeer += block;
        }
        c.WaitForClientClose(5000ms);
    });
    VX_SocketClient client;
    ASSERT_EQ(client.Connect("127.0.0.70", 20003), 0);

    std::atomic<bool> done{false};
    std::atomic<int> checks{0}, falseChecks{0};
    std::thread gui([&] {
        while (!done.load()) {
            if (!client.IsConnected())
                ++falseChecks;
            ++checks;
        }
    });

    // Replies that arrive after an exchange are read by the next one, so
    // all replies together must be exactly what the controller sent.
    std::string receivedByClient;
    for (int n = 0; n < kRequests; ++n) {
        std::string reply;
        ASSERT_EQ(client.Exchange("next", 4, reply), 0);
        receivedByClient += reply;
        std::this_thread::sleep_for(1ms);
    }
    for (int drain = 0; drain < 50 && receivedByClient.size() < kRequests * 997u; ++drain) {
        std::this_thread::sleep_for(10ms);
        std::string reply;
        const int fd = client.Socket();
        if (WaitReadable(fd, 10ms) && client.Exchange("", 0, reply) == 0)
            receivedByClient += reply;
    }
    done = true;
    gui.join();
    client.Disconnect();
    peer.Stop();

    EXPECT_GT(checks.load(), 0);
    EXPECT_EQ(falseChecks.load(), 0);
    EXPECT_EQ(receivedByClient.size(), sentByPeer.size());
    EXPECT_TRUE(receivedByClient == sentByPeer) << "reply bytes lost or reordered";
}

TEST(ConcurrentCheck, CloseNoticedWhileTheCollectorExchanges)
{
    Event closeNow;
    ScriptedPeer peer("127.0.0.71", 20003, [&](PeerConnection& c, int) {
        while (!closeNow.IsSet() && !c.Stopping()) {
            const std::string request = c.ReceiveExactly(4, 20ms);
            if (!request.empty())
                c.Send("data");
        }
        c.Close();
    });
    VX_SocketClient client;
    ASSERT_EQ(client.Connect("127.0.0.71", 20003), 0);

    std::atomic<bool> done{false};
    std::atomic<int> exchanges{0};
    std::thread collector([&] {
        while (!done.load()) {
            std::string reply;
            client.Exchange("next", 4, reply);
            ++exchanges;
            std::this_thread::sleep_for(1ms);
        }
    });
    const auto started = Clock::now() + 3000ms;
    while (exchanges.load() < 20 && Clock::now() < started)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(client.IsConnected());
    closeNow.Set();

    bool noticed = false;
    const auto deadline = Clock::now() + 3000ms;
    while (!noticed && Clock::now() < deadline)
        noticed = !client.IsConnected();
    EXPECT_TRUE(noticed);
    EXPECT_EQ(client.Socket(), -1);
    // The collector carries on against a closed connection without harm.
    const int before = exchanges.load();
    const auto more = Clock::now() + 3000ms;
    while (exchanges.load() < before + 5 && Clock::now() < more)
        std::this_thread::sleep_for(1ms);
    EXPECT_GE(exchanges.load(), before + 5);
    done = true;
    collector.join();
    std::string reply = "kept";
    EXPECT_EQ(client.Exchange("next", 4, reply), EBADF);
    EXPECT_EQ(reply, "kept");
}

TEST(ConcurrentCheck, SubscriptionAndFetchNeverInterleaveOnTheWire)
{
    std::atomic<int> wholePackets{0}, badPackets{0};
    ScriptedPeer peer("127.0.0.72", 20003, [&](PeerConnection& c, int) {
        for (;;) {
            const std::string packet = c.ReceiveExactly(160, 500ms);
            if (packet.empty())
                return;
            std::uint32_t command = 0;
            if (packet.size() == 160)
                std::memcpy(&command, packet.data() + 12, 4);
            if (packet.size() != 160 || packet.compare(0, 4, "LTBR") != 0 ||
                (command != 1 && command != 2)) {
                ++badPackets;
                return;
            }
            ++wholePackets;
            if (command == 2)
                c.Send(ScopeReplyBytes(1.0, 2, 1, 1));
        }
    });
    VX_DashboardClient dashboard;
    ASSERT_EQ(dashboard.Init("127.0.0.72"), 0);

    constexpr int kEach = 200;
    std::thread collector([&] {
        for (int i = 0; i < kEach; ++i) {
            double cpu = 0;
            std::uint32_t memory = 0;
            std::vector<_ST_ReadScopeData> rows;
            dashboard.ReadScopeData(&cpu, &memory, &rows);
        }
    });
    std::vector<int> indexes(36);
    for (int i = 0; i < kEach; ++i) {
        indexes[0] = i;
        dashboard.SetScopeIndexes(indexes);
        dashboard.IsConnected();
    }
    collector.join();
    const auto deadline = Clock::now() + 3000ms;
    while (wholePackets.load() < 2 * kEach && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    dashboard.Disconnect();
    peer.Stop();
    EXPECT_EQ(badPackets.load(), 0);
    EXPECT_EQ(wholePackets.load(), 2 * kEach);
}

} // namespace
