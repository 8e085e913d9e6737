// The scope page with its collector against the controller simulator over
// the real link library: the chosen channels arrive in their slots with the
// simulator's values, Stop ends the recording, a lost link and the robot
// error stop acquisition. One simulator per test, each on its own address.
#include "ScopePageSupport.h"
#include "VX_Ports.h"

#include "SimModel.h"
#include "SimProcess.h"
#include "VX_Prod.h"
#include "qwtscope.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>

#include <cmath>

using namespace scopetest;

namespace {

class ScopePageSim : public ::testing::Test
{
protected:
    void start(const char* address, std::vector<std::string> options = {})
    {
        sim = std::make_unique<vxtest::SimProcess>(address, options);
        ASSERT_TRUE(sim->ok()) << sim->error();
        ASSERT_EQ(VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort), 0);
        ASSERT_EQ(VX_InitDashboardClient(address), 0);
        ASSERT_TRUE(VX_IsConnectDashboard());
        page = std::make_unique<VXPlugin_Scope>();
        page->messageBox = [this](QMessageBox::Icon, const QString&, const QString& text) {
            messages << text;
        };
    }

    void TearDown() override
    {
        // The page's collector uses the link: it goes before the simulator.
        page.reset();
        sim.reset();
    }

    // J1..J6 with " Actual ACS" and " Actual Cur": twelve channels.
    void chooseJointsPositionAndCurrent()
    {
        QScopeSetting* d = page->settingDialog();
        for (int j = 1; j <= 6; ++j)
            ASSERT_TRUE(checkJoint(d, j));
        ASSERT_TRUE(checkLink(d, "Actual ACS"));
        ASSERT_TRUE(checkLink(d, "Actual Cur"));
        confirm(d);
    }

    std::unique_ptr<vxtest::SimProcess> sim;
    std::unique_ptr<VXPlugin_Scope> page;
    QStringList messages;
};

TEST_F(ScopePageSim, LiveChannelsLandInTheirSlotsAndStopEndsTheRecording)
{
    start("127.0.3.11");
    chooseJointsPositionAndCurrent();
    page->OnStartScope();
    ASSERT_TRUE(waitFor([&] { return page->sampleTimes().size() >= 500; }, 15000));

    // Slot order: per joint, Actual ACS then Actual Cur.
    std::vector<int> indexes;
    for (int j = 0; j < 6; ++j) {
        indexes.push_back(49 + j);
        indexes.push_back(73 + j);
    }
    const std::vector<double> times = page->sampleTimes();
    std::vector<std::vector<double>> values;
    for (int slot = 0; slot < 12; ++slot) {
        values.push_back(page->samples(slot));
        ASSERT_GE(values.back().size(), times.size());
    }
    auto rowMatches = [&](std::size_t i) {
        if (times[i] != std::floor(times[i]) || times[i] < 0 || (i > 0 && times[i] <= times[i - 1]))
            return false;
        for (int slot = 0; slot < 12; ++slot) {
            const double expected = zps::channelValue(indexes[std::size_t(slot)], int64_t(times[i]));
            if (std::fabs(values[std::size_t(slot)][i] - expected) > 1e-9 * (1.0 + std::fabs(expected)))
                return false;
        }
        return true;
    };
    // The first reply after a subscription can be the controller's late
    // acknowledgement run together with the data that follows it, which the
    // link library reads as rows (it does not check the reply header). At
    // most that one reply (100 rows) may be off; every later row is the
    // simulator's value of its own channel at its own time stamp, in slot
    // order. (A read cycle delayed past 100 ms on a loaded machine loses
    // rows, one reply carries at most 100: stamps rise but may skip.)
    std::size_t first = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!rowMatches(i))
            first = i + 1;
    }
    EXPECT_LE(first, 100u) << "rows that do not match the simulator";
    ASSERT_GE(times.size() - first, 300u);
    EXPECT_TRUE(page->samples(12).empty());

    // The timer shows the controller's load and feeds the plot.
    ASSERT_TRUE(waitFor([&] { return page->plot()->curve(11)->dataSize() > 0; }, 5000));
    const QString cpu = page->findChild<QLabel*>("KDLX_Scope_lb_ZPSCPU")->text();
    EXPECT_NE(cpu, "0.0");

    // Once Stop returned, no row lands, however late a pass under way runs.
    page->OnStopScope();
    const std::size_t stopped = page->sampleTimes().size();
    QThread::msleep(400);
    EXPECT_EQ(page->sampleTimes().size(), stopped);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ScopePageSim, LostLinkStopsAcquisition)
{
    start("127.0.3.12");
    chooseJointsPositionAndCurrent();
    page->OnStartScope();
    ASSERT_TRUE(waitFor([&] { return page->sampleTimes().size() >= 100; }, 15000));
    ASSERT_TRUE(sim->command("close-dash")) << sim->error();
    // What the main window does on its timer: tell the page while the link
    // is down.
    ASSERT_TRUE(waitFor(
        [&] {
            if (!VX_IsConnectDashboard())
                page->slot_Disconnected2ZPS();
            return !page->isRunning();
        },
        10000));
    // Reads on the dead link deliver nothing and harm nothing.
    const std::size_t kept = page->sampleTimes().size();
    EXPECT_GE(kept, 100u);
    page->OnStartScope();
    QThread::msleep(300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(page->isRunning());
    page->OnStopScope();
}

TEST_F(ScopePageSim, RobotErrorStopsOnTheSecondSighting)
{
    start("127.0.3.13", {"--robot-error"});
    chooseJointsPositionAndCurrent();
    page->findChild<QCheckBox*>("cb_StopWhenError")->click();
    page->OnStartScope();
    ASSERT_TRUE(waitFor([&] { return !page->isRunning(); }, 15000));
    EXPECT_EQ(page->errorCount(), 0);
    EXPECT_FALSE(page->sampleTimes().empty());
}

TEST_F(ScopePageSim, NoErrorNoStop)
{
    start("127.0.3.14");
    chooseJointsPositionAndCurrent();
    page->findChild<QCheckBox*>("cb_StopWhenError")->click();
    page->OnStartScope();
    waitFor([] { return false; }, 1500);
    EXPECT_TRUE(page->isRunning());
    EXPECT_EQ(page->errorCount(), 0);
    page->OnStopScope();
}

} // namespace
