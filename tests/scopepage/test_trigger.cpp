// The trigger check: which batches fire, for both conditions, with and
// without the absolute value, and channel positions that address nothing.
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
    s.condition = c.condition;
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

} // namespace
