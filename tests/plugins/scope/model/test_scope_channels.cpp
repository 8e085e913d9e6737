#include "ScopeChannels.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct TextRow
{
    int key;
    const char* name;
    const char* unit;
    int base;  // -1: no base index
};

// Every catalogue entry as the controller and the files know it.
const TextRow kComponents[] = {
    {0, "NULL", "", -1},          {1, "CurFSM", "FSM", -1},        {2, "LastFSM", "FSM", -1},
    {3, "CurMS", "ms", -1},       {4, "RTCycle", "ms", -1},         {5, "RTMaxCycle", "ms", -1},
    {6, "RTMinCycle", "ms", -1},  {7, "RTTaskMS", "ms", -1},        {8, "RTTaskMaxMS", "ms", -1},
    {9, "RTTaskMinMS", "ms", -1}, {10, "SendFrameCNT", "CNT", -1},  {11, "SendFrameFrq", "CNT", -1},
    {12, "SendFrameMS", "ms", -1}, {13, "LoseFrameCNT", "CNT", -1}, {14, "TxFrameCNT", "CNT", -1},
    {15, "RxFrameCNT", "CNT", -1}, {16, "Momentum", "W(N*S)", -1},  {17, "PhysicsPower", "W(Tor*Vel)", -1},
    {18, "ElectricPower", "W(Vol*Cur)", -1},
    {19, "X", "", -1},  {20, "Y", "", -1},  {21, "Z", "", -1},  {22, "RX", "", -1}, {23, "RY", "", -1},
    {24, "RZ", "", -1}, {25, "J1", "", -1}, {26, "J2", "", -1}, {27, "J3", "", -1}, {28, "J4", "", -1},
    {29, "J5", "", -1}, {30, "J6", "", -1}, {31, "TCPCmdVel", "", -1}, {32, "TCPActVel", "", -1},
};

const TextRow kLinks[] = {
    {0, "Motor Position", "Unit", 0},        {1, " Target ACS", "ACS(deg)", 43},
    {2, " Actual ACS", "ACS(deg)", 49},      {3, " Actual FilACS", "ACS(deg)", 79},
    {4, " TarPos PDO", "count", 145},        {5, " ActPos PDO", "count", 151},
    {6, "Motor Velocity", "Unit", 0},        {7, " Target JointVel", "VEL(deg/s)", 55},
    {8, " Actual JointVel", "VEL(deg/s)", 61}, {9, " Joint FilVel", " VEL(deg/s)", 85},
    {10, " Joint FilAcc", "VEL(deg/s)", 91}, {11, "Motor Current", "Unit", 0},
    {12, " Target Cur", "CUR(A)", 67},       {13, " Actual Cur", "CUR(A)", 73},
    {14, " FilCur", "CUR(A)", 97},           {15, " FilSensedTor", "TQR(N)", 103},
    {16, " FilEstimateTor", "TQR(N)", 109},  {17, " FilDisturbanceTor", "TQR(N)", 115},
    {18, "Motor Status", "Unit", 0},         {19, " status word", " ", 127},
    {20, " control word", " ", 121},         {21, " Actual ModeOperate", " ", 139},
    {22, " Target ModeOperate", " ", 133},
};

const TextRow kEndEffectors[] = {
    {0, "Motor PCS", "Unit", 0},   {1, " Target PCS", "PCS(mm)", 19},   {2, " Actual PCS", "PCS(mm)", 25},
    {3, "Motor Vel", "Unit", 0},   {4, " Target Vel", "VEL(mm/s)", 31}, {5, " Actual Vel", "VEL(mm/s)", 37},
    {6, "ForceSensor", "Unit", 0}, {7, " SrcData", "N", 169},           {8, " CaliData", "mm", 175},
};

TEST(ScopeCatalogue, ComponentTableHoldsEveryEntryWithItsUnit)
{
    ASSERT_EQ(ComponentNames().size(), std::size(kComponents));
    for (const TextRow& row : kComponents) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(componentName(row.key), QString::fromLatin1(row.name));
        EXPECT_EQ(componentUnit(row.key), QString::fromLatin1(row.unit));
        // Units exist for the system values only.
        EXPECT_EQ(ComponentUnits().count(static_cast<emAXIS>(row.key)) > 0, row.key >= 1 && row.key <= 18);
    }
}

TEST(ScopeCatalogue, LinkTableHoldsNamesUnitsAndBases)
{
    ASSERT_EQ(LinkNames().size(), std::size(kLinks));
    ASSERT_EQ(LinkUnits().size(), std::size(kLinks));
    ASSERT_EQ(LinkIndexBase().size(), std::size(kLinks));
    for (const TextRow& row : kLinks) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(linkName(row.key), QString::fromLatin1(row.name));
        EXPECT_EQ(linkUnit(row.key), QString::fromLatin1(row.unit));
        ASSERT_TRUE(linkIndexBase(row.key).has_value());
        EXPECT_EQ(*linkIndexBase(row.key), row.base);
    }
}

TEST(ScopeCatalogue, EndEffectorTableHoldsNamesUnitsAndBases)
{
    ASSERT_EQ(EndEffectorNames().size(), std::size(kEndEffectors));
    for (const TextRow& row : kEndEffectors) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(endEffectorName(row.key), QString::fromLatin1(row.name));
        EXPECT_EQ(endEffectorUnit(row.key), QString::fromLatin1(row.unit));
        ASSERT_TRUE(endEffectorIndexBase(row.key).has_value());
        EXPECT_EQ(*endEffectorIndexBase(row.key), row.base);
    }
}

TEST(ScopeCatalogue, MissingKeysGiveEmptyTextAndNoBase)
{
    for (int key : {-1, 33, 1000}) {
        EXPECT_TRUE(componentName(key).isEmpty());
        EXPECT_TRUE(componentUnit(key).isEmpty());
    }
    for (int key : {-1, 23, 99}) {
        EXPECT_TRUE(linkName(key).isEmpty());
        EXPECT_FALSE(linkIndexBase(key).has_value());
    }
    for (int key : {-1, 9, 99}) {
        EXPECT_TRUE(endEffectorUnit(key).isEmpty());
        EXPECT_FALSE(endEffectorIndexBase(key).has_value());
    }
}

TEST(ScopeCatalogue, KeyListsAreAscendingAndComplete)
{
    auto expectRange = [](const std::vector<int>& keys, int count) {
        ASSERT_EQ(static_cast<int>(keys.size()), count);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(keys[static_cast<size_t>(i)], i);
    };
    expectRange(componentKeys(), 33);
    expectRange(linkKeys(), 23);
    expectRange(endEffectorKeys(), 9);
}

TEST(ScopeCatalogue, TriggerVocabularyInItsOrder)
{
    EXPECT_EQ(TriggerConditions(), (QStringList{">", "<"}));
    EXPECT_EQ(TriggerGrabModes(), (QStringList{"Trigger open grab", "Trigger end grab"}));
}

TEST(ScopeCatalogue, AxisInfoDefaultsToAnUnusedSlot)
{
    const _ST_ScopeAxisInfo info;
    EXPECT_EQ(info.nIndex, 0);
    EXPECT_EQ(info.nSubIndex, -1);
    EXPECT_EQ(info.nCurve, 0);
    EXPECT_EQ(info.eLink, 23);
    EXPECT_EQ(info.eEndEff, 9);
    EXPECT_TRUE(info.strUnit.isEmpty());
    EXPECT_FALSE(info.inUse());
}

// Selections as the dialog hands them over: link and end-effector maps carry
// the base index of each key.
std::map<emAXIS, int> components(std::initializer_list<int> keys)
{
    std::map<emAXIS, int> m;
    for (int k : keys)
        m.emplace(static_cast<emAXIS>(k), k);
    return m;
}
std::map<emLINK, int> links(std::initializer_list<int> keys)
{
    std::map<emLINK, int> m;
    for (int k : keys)
        m.emplace(static_cast<emLINK>(k), linkIndexBase(k).value_or(0));
    return m;
}
std::map<emENDEFF, int> endEffectors(std::initializer_list<int> keys)
{
    std::map<emENDEFF, int> m;
    for (int k : keys)
        m.emplace(static_cast<emENDEFF>(k), endEffectorIndexBase(k).value_or(0));
    return m;
}

struct Expected
{
    const char* title;
    int index;
    int subIndex;
    int link;
    int endEff;
    const char* unit;
};

struct SelectionCase
{
    const char* name;
    std::map<emAXIS, int> comp;
    std::map<emLINK, int> link;
    std::map<emENDEFF, int> end;
    std::vector<Expected> expected;
};

class ChannelListTest : public ::testing::TestWithParam<SelectionCase>
{
};

TEST_P(ChannelListTest, ProducesChannelsInSlotOrder)
{
    const SelectionCase& c = GetParam();
    const ScopeChannelList list = buildChannelList(c.comp, c.link, c.end);
    ASSERT_EQ(list.channels.size(), c.expected.size());
    ASSERT_EQ(list.indexes.size(), c.expected.size());
    EXPECT_TRUE(list.accepted());
    for (size_t k = 0; k < c.expected.size(); ++k) {
        SCOPED_TRACE(k);
        const Expected& e = c.expected[k];
        const ScopeChannel& ch = list.channels[k];
        EXPECT_EQ(ch.title, QString::fromLatin1(e.title));
        EXPECT_EQ(ch.info.nIndex, e.index);
        EXPECT_EQ(list.indexes[k], e.index);
        EXPECT_EQ(ch.info.nSubIndex, e.subIndex);
        EXPECT_EQ(ch.info.nCurve, static_cast<int>(k));
        EXPECT_EQ(ch.info.eLink, e.link);
        EXPECT_EQ(ch.info.eEndEff, e.endEff);
        EXPECT_EQ(ch.info.strUnit, QString::fromLatin1(e.unit));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Selections, ChannelListTest,
    ::testing::Values(
        SelectionCase{"JointsWithLinkChannels",
                      components({AXIS_J3, AXIS_J1}),
                      links({LINK_ActualCur, LINK_TargetACS}),
                      {},
                      {{"J1 Target ACS", 43, 0, 1, 9, "ACS(deg)"},
                       {"J1 Actual Cur", 73, 0, 13, 9, "CUR(A)"},
                       {"J3 Target ACS", 45, 2, 1, 9, "ACS(deg)"},
                       {"J3 Actual Cur", 75, 2, 13, 9, "CUR(A)"}}},
        SelectionCase{"CartesianWithEndEffectorChannels",
                      components({AXIS_X, AXIS_RZ}),
                      {},
                      endEffectors({ENDEFF_ActualPCS, ENDEFF_CaliData}),
                      {{"X Actual PCS", 25, 0, 23, 2, "PCS(mm)"},
                       {"X CaliData", 175, 0, 23, 8, "mm"},
                       {"RZ Actual PCS", 30, 5, 23, 2, "PCS(mm)"},
                       {"RZ CaliData", 180, 5, 23, 8, "mm"}}},
        SelectionCase{"LinkChannelWithoutJointGivesNothing", {}, links({LINK_TargetACS}), {}, {}},
        SelectionCase{"JointWithoutLinkChannelGivesNothing", components({AXIS_J2}), {}, {}, {}},
        SelectionCase{"CartesianWithoutEndEffectorGivesNothing", components({AXIS_RY}), {}, {}, {}},
        SelectionCase{"HeadingsContributeNothing",
                      components({AXIS_J1, AXIS_Y}),
                      links({LINK_MotorCurrent, LINK_MotorPosition, LINK_MotorVelocity, LINK_MotorStatus}),
                      endEffectors({ENDEFF_MotorPCS, ENDEFF_MotorVel, ENDEFF_ForceSensor}),
                      {}},
        SelectionCase{"NullIsAChannelWithIndexZero",
                      components({AXIS_NULL}),
                      {},
                      {},
                      {{"NULL", 0, 0, 23, 9, ""}}},
        SelectionCase{"LinkAndEndEffectorBeforeComponentsThenTcp",
                      components({AXIS_TCPActVel, AXIS_ElectricPower, AXIS_CurFSM, AXIS_Z, AXIS_J6,
                                  AXIS_TCPCmdVel}),
                      links({LINK_StatusWord, LINK_ControlWord, LINK_JointFilVel}),
                      endEffectors({ENDEFF_TargetVel}),
                      {{"J6 Joint FilVel", 90, 5, 9, 9, " VEL(deg/s)"},
                       {"J6 status word", 132, 5, 19, 9, " "},
                       {"J6 control word", 126, 5, 20, 9, " "},
                       {"Z Target Vel", 33, 2, 23, 4, "VEL(mm/s)"},
                       {"CurFSM", 1, 1, 23, 9, "FSM"},
                       {"ElectricPower", 18, 18, 23, 9, "W(Vol*Cur)"},
                       {"TCPCmdVel", 31, 31, 23, 9, ""},
                       {"TCPActVel", 32, 32, 23, 9, ""}}},
        SelectionCase{"LinkKeyWithoutBaseUsesZero",
                      components({AXIS_J2}),
                      std::map<emLINK, int>{{LINK_TargetCur, 0}},
                      {},
                      {{"J2 Target Cur", 1, 1, 12, 9, "CUR(A)"}}}),
    [](const ::testing::TestParamInfo<SelectionCase>& info) { return std::string(info.param.name); });

TEST(ScopeChannelLimit, ThirtySixChannelsAreAcceptedThirtySevenRefused)
{
    const auto joints = components({AXIS_J1, AXIS_J2, AXIS_J3, AXIS_J4, AXIS_J5, AXIS_J6});
    const auto six = links({1, 2, 3, 4, 5, 7});
    const ScopeChannelList full = buildChannelList(joints, six, {});
    EXPECT_EQ(full.count(), 36);
    EXPECT_TRUE(full.accepted());

    // One more channel of each kind tips it over.
    auto withComponent = joints;
    withComponent.emplace(AXIS_CurMS, AXIS_CurMS);
    auto withCartesian = joints;
    withCartesian.emplace(AXIS_X, AXIS_X);
    const ScopeChannelList overByComponent = buildChannelList(withComponent, six, {});
    const ScopeChannelList overByEndEffector =
        buildChannelList(withCartesian, six, endEffectors({ENDEFF_SrcData}));
    const ScopeChannelList overByTcp = buildChannelList(
        [&] { auto m = joints; m.emplace(AXIS_TCPActVel, AXIS_TCPActVel); return m; }(), six, {});
    for (const ScopeChannelList* list : {&overByComponent, &overByEndEffector, &overByTcp}) {
        EXPECT_EQ(list->count(), 37);
        EXPECT_FALSE(list->accepted());
        // The whole list is still produced, in slot order.
        EXPECT_EQ(list->channels.back().info.nCurve, 36);
    }
}

TEST(ScopeChannelLimit, EverythingSelectedIsRefusedButComplete)
{
    std::map<emAXIS, int> all;
    for (int k : componentKeys())
        all.emplace(static_cast<emAXIS>(k), k);
    std::map<emLINK, int> allLinks;
    for (int k : linkKeys())
        allLinks.emplace(static_cast<emLINK>(k), *linkIndexBase(k));
    std::map<emENDEFF, int> allEnd;
    for (int k : endEffectorKeys())
        allEnd.emplace(static_cast<emENDEFF>(k), *endEffectorIndexBase(k));
    const ScopeChannelList list = buildChannelList(all, allLinks, allEnd);
    // 6 joints x 19 link channels, 6 components x 6 end-effector channels,
    // 19 component channels and the two TCP velocities.
    EXPECT_EQ(list.count(), 6 * 19 + 6 * 6 + 19 + 2);
    EXPECT_FALSE(list.accepted());
    // Every link/end-effector index lies in the controller's sampled range.
    std::set<int> seen;
    for (const ScopeChannel& ch : list.channels) {
        if (ch.info.eLink != LINK_NONE || ch.info.eEndEff != ENDEFF_NONE) {
            EXPECT_GE(ch.info.nIndex, 19);
            EXPECT_LE(ch.info.nIndex, kMaxScopeIndex);
            EXPECT_TRUE(seen.insert(ch.info.nIndex).second) << "duplicate index " << ch.info.nIndex;
        }
    }
}

} // namespace
