// A collector thread exchanging on a connection while the GUI thread checks
// it and subscribes on it. Run under ThreadSanitizer too.
// Addresses 127.0.0.70 .. 127.0.0.79.
#include "LinkPeers.h"
#include "VX_DashboardClient.h"
#include "VX_Ports.h"
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
    // The controller sends block n when the collector asks for it (outside
    // the exchange), so each exchange finds exactly one whole block waiting,
    // whatever the timing; a check that consumed bytes would shorten it.
    constexpr int kBlocks = 150;
    std::atomic<int> requested{0};
    ScriptedPeer peer("127.0.0.70", vx::kDashboardPort, [&](PeerConnection& c, int) {
        int sent = 0;
        while (sent < kBlocks && !c.Stopping()) {
            if (requested.load() > sent)
                c.Send(Block(sent++));
            else
                std::this_thread::sleep_for(100us);
        }
        c.WaitForClientClose(5000ms);
    });
    VX_SocketClient client;
    ASSERT_EQ(client.Connect("127.0.0.70", vx::kDashboardPort), 0);

    std::atomic<bool> done{false};
    std::atomic<int> checks{0}, falseChecks{0};
    std::thread gui([&] {
        while (!done.load()) {
            if (!client.IsConnected())
                ++falseChecks;
            ++checks;
        }
    });

    int whole = 0;
    for (int n = 0; n < kBlocks; ++n) {
        requested = n + 1;
        if (!WaitReadable(client.Socket(), 3000ms))
            break;
        std::string reply;
        EXPECT_EQ(client.Exchange("next", 4, reply), 0);
        if (reply == Block(n))
            ++whole;
        else
            ADD_FAILURE() << "block " << n << " arrived with " << reply.size() << " bytes";
    }
    done = true;
    gui.join();
    client.Disconnect();
    peer.Stop();

    EXPECT_EQ(whole, kBlocks);
    EXPECT_GT(checks.load(), 0);
    EXPECT_EQ(falseChecks.load(), 0);
}

TEST(ConcurrentCheck, CloseNoticedWhileTheCollectorExchanges)
{
    Event closeNow;
    ScriptedPeer peer("127.0.0.71", vx::kDashboardPort, [&](PeerConnection& c, int) {
        while (!closeNow.IsSet() && !c.Stopping()) {
            const std::string request = c.ReceiveExactly(4, 20ms);
            if (!request.empty())
                c.Send("data");
        }
        c.Close();
    });
    VX_SocketClient client;
    ASSERT_EQ(client.Connect("127.0.0.71", vx::kDashboardPort), 0);

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
    ScriptedPeer peer("127.0.0.72", vx::kDashboardPort, [&](PeerConnection& c, int) {
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
