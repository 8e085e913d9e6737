// The trigger check: which batches fire, for both conditions, with and
// without the absolute value, and channel positions that address nothing.
// Then the grab state machine the page and the recorder both run: what a
// start, a batch, a stop and a robot error sighting leave behind.
#include "scopetrigger.h"

#include "VX_Prod.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Rows whose column `column` takes the given values; the time stamp is far
// above every threshold, so reading it by mistake would fire.
std::vector<_ST_ReadScopeData> batch(int column, std::vector<double> values)
{
    std::vector<_ST_ReadScopeData> rows;
    double t = 1.0e9;
    for (double v : values) {
        _ST_ReadScopeData row{};
        row.time = t++;
        for (double& other : row.values)
            other = 1.0e6;
        row.values[column] = v;
        rows.push_back(row);
    }
    return rows;
}

struct TriggerCase
{
    const char* name;
    int channel;
    int condition;
    double threshold;
    bool absolute;
    int column; // where the values are put
    std::vector<double> values;
    bool fires;
};

class TriggerCheck : public ::testing::TestWithParam<TriggerCase>
{
};

TEST_P(TriggerCheck, Fires)
{
    const TriggerCase& c = GetParam();
    ScopeTriggerSetting s;
    s.channel = c.channel;
    s.condition = TriggerCondition(c.condition);
    s.threshold = c.threshold;
    s.absoluteValue = c.absolute;
    EXPECT_EQ(triggerFires(s, batch(c.column, c.values)), c.fires);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, TriggerCheck,
    ::testing::Values(
        TriggerCase{"AboveStaysAtThreshold", 0, 0, 1.5, false, 0, {0.0, 1.5, 1.0}, false},
        TriggerCase{"AboveOneValueOver", 0, 0, 1.5, false, 0, {0.0, 1.5, 1.5001, 0.2}, true},
        TriggerCase{"AboveNegativeWithoutAbs", 0, 0, 1.5, false, 0, {-2.0}, false},
        TriggerCase{"AboveNegativeWithAbs", 0, 0, 1.5, true, 0, {-2.0}, true},
        TriggerCase{"BelowEqualDoesNotFire", 3, 1, -1.0, false, 3, {-1.0, 0.0}, false},
        TriggerCase{"BelowOneValueUnder", 3, 1, -1.0, false, 3, {0.0, -1.01}, true},
        TriggerCase{"BelowWithAbsNeverNegative", 3, 1, 0.5, true, 3, {-3.0, 2.0}, false},
        TriggerCase{"BelowWithAbsSmallMagnitude", 3, 1, 0.5, true, 3, {-3.0, -0.25}, true},
        TriggerCase{"LastColumn", 35, 0, 10.0, false, 35, {11.0}, true},
        TriggerCase{"OtherColumnsAreNotLookedAt", 2, 1, 0.0, false, 5, {-100.0}, false},
        TriggerCase{"EmptyBoxPositionMinusOneNeverFires", -1, 0, 1.5, false, 0, {100.0}, false},
        TriggerCase{"PositionPastTheRowNeverFires", 36, 0, 1.5, false, 0, {100.0}, false},
        TriggerCase{"FarPositionNeverFires", 40, 1, 1.5e7, false, 0, {100.0}, false},
        TriggerCase{"UnknownConditionNeverFires", 0, 2, 1.5, false, 0, {100.0, -100.0}, false},
        TriggerCase{"EmptyBatchNeverFires", 0, 0, -1.0, false, 0, {}, false},
        TriggerCase{"NaNFirstDoesNotHideLaterRows", 0, 0, 1.5, false, 0, {kNaN, 2.0}, true},
        TriggerCase{"OnlyNaNNeverFires", 0, 1, 1.5, false, 0, {kNaN, kNaN}, false}),
    [](const ::testing::TestParamInfo<TriggerCase>& info) { return std::string(info.param.name); });

// ---- the grab state machine ------------------------------------------------

enum class Op { Start, Batch, EmptyBatch, Stop, RobotError };

struct Step
{
    Op op;
    bool arg = false;               // Start: armed; Batch: the batch fires; RobotError: expected answer
    GrabMode mode = GrabMode::Open; // Start: the mode started with; Batch: the setting's mode
    ScopeTriggerState::Fired fired = ScopeTriggerState::Fired::No; // Batch, EmptyBatch
    bool armed = false;             // after the step
    bool grabbing = true;
};

struct MachineCase
{
    const char* name;
    std::vector<Step> steps;
};

using Fired = ScopeTriggerState::Fired;

Step start(bool armed, GrabMode mode, bool armedAfter, bool grabbingAfter)
{
    return {Op::Start, armed, mode, Fired::No, armedAfter, grabbingAfter};
}
Step check(bool fires, GrabMode mode, Fired fired, bool armedAfter, bool grabbingAfter)
{
    return {Op::Batch, fires, mode, fired, armedAfter, grabbingAfter};
}
Step emptyBatch(bool armedAfter, bool grabbingAfter)
{
    return {Op::EmptyBatch, false, GrabMode::Open, Fired::No, armedAfter, grabbingAfter};
}
Step stop()
{
    return {Op::Stop, false, GrabMode::Open, Fired::No, false, true};
}
Step robotError(bool stops, bool armedAfter, bool grabbingAfter)
{
    return {Op::RobotError, stops, GrabMode::Open, Fired::No, armedAfter, grabbingAfter};
}

class TriggerMachine : public ::testing::TestWithParam<MachineCase>
{
};

TEST_P(TriggerMachine, Steps)
{
    ScopeTriggerState state;
    EXPECT_FALSE(state.armed());
    EXPECT_TRUE(state.grabbing());
    int n = 0;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE(::testing::Message() << "step " << n++);
        ScopeTriggerSetting setting;
        setting.channel = 0;
        setting.condition = TriggerCondition::Above;
        setting.threshold = 1.0;
        setting.grabMode = step.mode;
        switch (step.op) {
        case Op::Start:
            state.start(step.arg, step.mode);
            break;
        case Op::Batch:
            EXPECT_EQ(int(state.check(setting, batch(0, {0.0, step.arg ? 2.0 : 0.5}))), int(step.fired));
            break;
        case Op::EmptyBatch:
            setting.threshold = -1.0e300;
            EXPECT_EQ(int(state.check(setting, {})), int(step.fired));
            break;
        case Op::Stop:
            state.stop();
            break;
        case Op::RobotError:
            EXPECT_EQ(state.robotErrorSighted(), step.arg);
            break;
        }
        EXPECT_EQ(state.armed(), step.armed);
        EXPECT_EQ(state.grabbing(), step.grabbing);
    }
}

constexpr GrabMode kOpen = GrabMode::Open;
constexpr GrabMode kEnd = GrabMode::End;
const GrabMode kUnknownMode = GrabMode(2);

INSTANTIATE_TEST_SUITE_P(
    Runs, TriggerMachine,
    ::testing::Values(
        MachineCase{"NotArmedGrabsAndNeverFires",
                    {start(false, kOpen, false, true), check(true, kOpen, Fired::No, false, true)}},
        MachineCase{"OpenGrabRecordsFromTheFiringBatchOn",
                    {start(true, kOpen, true, false), check(false, kOpen, Fired::No, true, false),
                     check(true, kOpen, Fired::Opened, false, true), check(true, kOpen, Fired::No, false, true)}},
        MachineCase{"EndGrabRecordsUntilTheFiringBatch",
                    {start(true, kEnd, true, true), check(false, kEnd, Fired::No, true, true),
                     check(true, kEnd, Fired::Ended, false, false), check(true, kEnd, Fired::No, false, false)}},
        MachineCase{"EmptyBatchNeverFires", {start(true, kOpen, true, false), emptyBatch(true, false)}},
        MachineCase{"FiringFollowsTheModeChosenSinceStart",
                    {start(true, kOpen, true, false), check(true, kEnd, Fired::Ended, false, false)}},
        MachineCase{"StopDisarmsAndGrabs",
                    {start(true, kOpen, true, false), stop(), check(true, kOpen, Fired::No, false, true)}},
        MachineCase{"StopAfterAnEndGrabFiredGrabsAgain",
                    {start(true, kEnd, true, true), check(true, kEnd, Fired::Ended, false, false), stop()}},
        MachineCase{"StartRearmsAfterFiring",
                    {start(true, kOpen, true, false), check(true, kOpen, Fired::Opened, false, true), stop(),
                     start(true, kOpen, true, false), check(true, kOpen, Fired::Opened, false, true)}},
        MachineCase{"UnknownModeOnlyArmsAndDisarms",
                    {start(true, kEnd, true, true), check(true, kEnd, Fired::Ended, false, false),
                     start(true, kUnknownMode, true, false), check(true, kUnknownMode, Fired::No, false, false)}},
        MachineCase{"SecondErrorSightingStops",
                    {robotError(false, false, true), robotError(true, false, true), robotError(false, false, true),
                     robotError(true, false, true)}},
        MachineCase{"StopForgetsAFirstSighting",
                    {robotError(false, false, true), stop(), robotError(false, false, true),
                     robotError(true, false, true)}},
        MachineCase{"SightingsLeaveTheGrabAlone",
                    {start(true, kOpen, true, false), robotError(false, true, false), robotError(true, true, false)}}),
    [](const ::testing::TestParamInfo<MachineCase>& info) { return std::string(info.param.name); });

} // namespace
