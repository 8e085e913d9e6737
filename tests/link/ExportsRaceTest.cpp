// Threads whose first calls into the library arrive at the same moment share
// one client of each kind. Addresses 127.0.0.55 .. 127.0.0.59.
#include "LinkPeers.h"
#include "VX_Ports.h"
#include "VX_Prod.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

// Counts the connections a peer holds open.
struct OpenCount
{
    std::atomic<int> open{0};
    bool SettlesAt(int expected, std::chrono::milliseconds timeout = 3000ms)
    {
        const auto deadline = Clock::now() + timeout;
        while (open.load() != expected && Clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return open.load() == expected;
    }
};

TEST(ExportsFirstUse, RacingFirstCallsShareOneClientOfEachKind)
{
    OpenCount dashboardOpen, commandOpen;
    auto holdOpen = [](OpenCount& count) {
        return [&count](PeerConnection& c, int) {
            ++count.open;
            c.WaitForClientClose(20000ms);
            --count.open;
        };
    };
    ScriptedPeer dashboard("127.0.0.55", vx::kDashboardPort, holdOpen(dashboardOpen));
    ScriptedPeer command("127.0.0.55", vx::kCommandPort, holdOpen(commandOpen));
    ASSERT_TRUE(dashboard.Listening());
    ASSERT_TRUE(command.Listening());

    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (!go.load())
                std::this_thread::yield();
            // Half the threads open the dashboard connection, half the command
            // connections; each is its thread's first call into the library.
            if (t % 2 == 0) {
                if (VX_InitDashboardClient("127.0.0.55") != 0)
                    ++failures;
            } else {
                if (VXRPC_InitClient("127.0.0.55", vx::kRpcPort, vx::kCommandPort) != 0)
                    ++failures;
            }
        });
    }
    while (ready.load() < kThreads)
        std::this_thread::yield();
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);

    // Each initialisation drops the connection of the one before it; with a
    // single client of each kind, one dashboard and two command connections
    // stay open.
    ASSERT_TRUE(dashboard.WaitForAccepted(kThreads / 2));
    ASSERT_TRUE(command.WaitForAccepted(kThreads));
    EXPECT_TRUE(dashboardOpen.SettlesAt(1)) << dashboardOpen.open.load();
    EXPECT_TRUE(commandOpen.SettlesAt(2)) << commandOpen.open.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(dashboardOpen.open.load(), 1);
    EXPECT_EQ(commandOpen.open.load(), 2);
    EXPECT_EQ(dashboard.Accepted(), kThreads / 2);
    EXPECT_EQ(command.Accepted(), kThreads);
    EXPECT_TRUE(VX_IsConnectDashboard());

    VX_InitDashboardClient("127.0.0.56"); // nothing there: the open one is dropped
    EXPECT_TRUE(dashboardOpen.SettlesAt(0));
    VXRPC_InitClient("127.0.0.56", vx::kRpcPort, vx::kCommandPort);
    EXPECT_TRUE(commandOpen.SettlesAt(0));
}

} // namespace
