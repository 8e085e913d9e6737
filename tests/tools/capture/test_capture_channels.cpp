// Channel choice and command line of vxscope-capture, without a controller.
#include "capturechannels.h"
#include "capturerun.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSet>

using namespace capture;

namespace {

QStringList titlesOf(const ScopeChannelList& list)
{
    QStringList out;
    for (const ScopeChannel& c : list.channels)
        out << c.title;
    return out;
}

TEST(CaptureCatalogue, EveryChannelHasAUniqueTitleThatFindsItself)
{
    const ScopeChannelList& all = allChannels();
    // 19 link-data channels per joint, 6 end-effector channels per axis,
    // the 19 system entries and the two TCP velocities.
    ASSERT_EQ(all.count(), 6 * 19 + 6 * 6 + 19 + 2);
    QSet<QString> seen;
    for (const ScopeChannel& c : all.channels) {
        EXPECT_FALSE(seen.contains(c.title)) << c.title.toStdString();
        seen.insert(c.title);
        EXPECT_FALSE(c.title.contains(QLatin1Char('_')) || c.title.contains(QLatin1Char(',')));
        const int i = findTitle(c.title);
        ASSERT_GE(i, 0) << c.title.toStdString();
        EXPECT_EQ(all.channels[std::size_t(i)].title, c.title);
    }
}

TEST(CaptureCatalogue, TitlesMatchIgnoringCaseAndRepeatedBlanks)
{
    const int i = findTitle(QStringLiteral("  j1   actual ACS "));
    ASSERT_GE(i, 0);
    EXPECT_EQ(allChannels().channels[std::size_t(i)].title, "J1 Actual ACS");
    EXPECT_EQ(findTitle(QStringLiteral("J1 Actual")), -1);
    EXPECT_EQ(findTitle(QString()), -1);
}

struct ChoiceCase
{
    const char* name;
    GroupSelection groups;
    QStringList titles;
    QStringList expectedTitles;
    std::vector<int> expectedIndexes;
    const char* error; // part of the error text, or nullptr
};

TEST(CaptureChoice, SelectionsBecomeChannelsInTheDialogsOrder)
{
    const ChoiceCase cases[] = {
        {"joints x link data",
         {{"J3", "1"}, {"Actual Cur", "Target ACS"}, {}, {}, {}},
         {},
         {"J1 Target ACS", "J1 Actual Cur", "J3 Target ACS", "J3 Actual Cur"},
         {43, 73, 45, 75},
         nullptr},
        {"axes x end effector",
         {{}, {}, {"RZ", "X"}, {"CaliData", "Actual PCS"}, {}},
         {},
         {"X Actual PCS", "X CaliData", "RZ Actual PCS", "RZ CaliData"},
         {25, 175, 30, 180},
         nullptr},
        {"a heading stands for its channels",
         {{"J2"}, {"Motor Status"}, {}, {}, {}},
         {},
         {"J2 status word", "J2 control word", "J2 Actual ModeOperate", "J2 Target ModeOperate"},
         {128, 122, 140, 134},
         nullptr},
        {"groups first, then titles in the order given, each once",
         {{}, {}, {}, {}, {"TCPActVel", "CurFSM"}},
         {"RX Target Vel", "CurFSM", "NULL"},
         {"CurFSM", "TCPActVel", "RX Target Vel", "NULL"},
         {1, 32, 34, 0},
         nullptr},
        {"all link data of one joint is 19 channels", {{"J6"}, {"all"}, {}, {}, {}}, {}, {}, {}, nullptr},
        {"unknown title", {}, {"J1 Actual ACX"}, {}, {}, "unknown channel \"J1 Actual ACX\""},
        {"unknown link name", {{"J1"}, {"Actual Torque"}, {}, {}, {}}, {}, {}, {}, "unknown link-data channel"},
        {"joint 7", {{"J7"}, {"Actual ACS"}, {}, {}, {}}, {}, {}, {}, "unknown joint"},
        {"link data without joints", {{}, {"Actual ACS"}, {}, {}, {}}, {}, {}, {}, "need joints"},
        {"axes without end-effector data", {{}, {}, {"X"}, {}, {}}, {}, {}, {}, "need end-effector"},
        {"axis selector as a component", {{}, {}, {}, {}, {"RX"}}, {}, {}, {}, "use --axes"},
        {"only the empty channel", {}, {"NULL"}, {}, {}, "carries samples"},
        {"nothing", {}, {}, {}, {}, "no channel chosen"},
        {"36 is the most", {{"all"}, {"Motor Position", "Target Cur"}, {}, {}, {}}, {}, {}, {}, nullptr},
        {"37 is refused", {{"all"}, {"Motor Position", "Target Cur"}, {}, {}, {}}, {"CurMS"}, {}, {},
         "37 channels chosen"},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ChannelChoice choice = chooseChannels(c.groups, c.titles);
        if (c.error) {
            EXPECT_TRUE(choice.error.contains(QLatin1String(c.error))) << choice.error.toStdString();
            continue;
        }
        ASSERT_TRUE(choice.error.isEmpty()) << choice.error.toStdString();
        if (!c.expectedTitles.isEmpty()) {
            EXPECT_EQ(titlesOf(choice.list), c.expectedTitles);
            EXPECT_EQ(choice.list.indexes, c.expectedIndexes);
        }
        for (int slot = 0; slot < choice.list.count(); ++slot) {
            EXPECT_EQ(choice.list.channels[std::size_t(slot)].info.nCurve, slot);
            EXPECT_EQ(choice.list.indexes[std::size_t(slot)], choice.list.channels[std::size_t(slot)].info.nIndex);
        }
    }
    EXPECT_EQ(chooseChannels({{"J6"}, {"all"}, {}, {}, {}}, {}).list.count(), 19);
    EXPECT_EQ(chooseChannels({{"all"}, {"Motor Position", "Target Cur"}, {}, {}, {}}, {}).list.count(), 36);
    EXPECT_EQ(chooseChannels({}, {"CurFSM", "curfsm"}).notes.size(), 1);
}

TEST(CaptureChoice, RecordsEqualTheDialogsForTheSameChannel)
{
    // A titled channel carries the record the page would give it.
    const ChannelChoice titled = chooseChannels({}, {"J4 FilSensedTor", "Y SrcData", "RTMinCycle"});
    ASSERT_TRUE(titled.error.isEmpty());
    std::map<emAXIS, int> comps = {{AXIS_J4, AXIS_J4}, {AXIS_Y, AXIS_Y}, {AXIS_RTMinCycle, AXIS_RTMinCycle}};
    std::map<emLINK, int> links = {{LINK_FilSensedTor, linkIndexBase(LINK_FilSensedTor).value()}};
    std::map<emENDEFF, int> ends = {{ENDEFF_SrcData, endEffectorIndexBase(ENDEFF_SrcData).value()}};
    const ScopeChannelList dialog = buildChannelList(comps, links, ends);
    ASSERT_EQ(dialog.count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(titled.list.channels[std::size_t(i)].title, dialog.channels[std::size_t(i)].title);
        EXPECT_EQ(titled.list.channels[std::size_t(i)].info, dialog.channels[std::size_t(i)].info);
    }
}

struct ArgCase
{
    const char* name;
    QStringList args;
    ParseResult result;
    const char* message; // part of the message, or nullptr
};

TEST(CaptureArguments, CommandLineIsCheckedBeforeAnythingIsSent)
{
    const ArgCase cases[] = {
        {"help", {"--help"}, ParseResult::Help, "--list-channels"},
        {"list", {"--list-channels"}, ParseResult::ListChannels, nullptr},
        {"no address", {"-c", "CurMS"}, ParseResult::Error, "no controller address"},
        {"host name", {"-a", "robot", "-c", "CurMS"}, ParseResult::Error, "not a dotted IPv4"},
        {"negative duration", {"-a", "10.0.0.1", "-c", "CurMS", "-d", "-1"}, ParseResult::Error, "--duration"},
        {"duration with comma", {"-a", "10.0.0.1", "-c", "CurMS", "-d", "1,5"}, ParseResult::Error, "--duration"},
        {"zero timeout", {"-a", "10.0.0.1", "-c", "CurMS", "--timeout", "0"}, ParseResult::Error, "--timeout"},
        {"stray argument", {"-a", "10.0.0.1", "CurMS"}, ParseResult::Error, "unexpected argument"},
        {"unknown option", {"-a", "10.0.0.1", "--chanel", "CurMS"}, ParseResult::Error, "chanel"},
        {"trigger settings alone", {"-a", "10.0.0.1", "-c", "CurMS", "--threshold", "2"}, ParseResult::Error,
         "without --trigger"},
        {"bad condition", {"-a", "10.0.0.1", "-c", "CurMS", "--trigger", "CurMS", "--condition", ">="},
         ParseResult::Error, "--condition"},
        {"bad threshold", {"-a", "10.0.0.1", "-c", "CurMS", "--trigger", "CurMS", "--threshold", "1,5"},
         ParseResult::Error, "--threshold"},
        {"bad grab", {"-a", "10.0.0.1", "-c", "CurMS", "--trigger", "CurMS", "--grab", "middle"}, ParseResult::Error,
         "--grab"},
        {"trigger slot out of range", {"-a", "10.0.0.1", "-c", "CurMS", "--trigger", "1"}, ParseResult::Error,
         "not one of the chosen"},
        {"derived channel not chosen", {"-a", "10.0.0.1", "-c", "CurMS", "--derive", "E=2 * [J1 Actual ACS]"},
         ParseResult::Error, "expression position 5: the channel J1 Actual ACS is not chosen"},
        {"derived channel without =", {"-a", "10.0.0.1", "-c", "CurMS", "--derive", "E"}, ParseResult::Error,
         "NAME[UNIT]=EXPRESSION"},
        {"derived channel named twice", {"-a", "10.0.0.1", "-c", "CurMS", "--derive", "E=1", "--derive", "E=2"},
         ParseResult::Error, "two derived channels"},
        {"derived channel", {"-a", "10.0.0.1", "-c", "CurMS", "--derive", "E[ms]=movavg([CurMS], 10)"},
         ParseResult::Run, nullptr},
        {"fine", {"-a", "10.0.0.1", "-c", "CurMS", "-o", "x.csv"}, ParseResult::Run, nullptr},
        {"name without csv", {"-a", "10.0.0.1", "-c", "CurMS", "-o", "x.txt"}, ParseResult::Run, nullptr},
    };
    for (const ArgCase& c : cases) {
        SCOPED_TRACE(c.name);
        Options options;
        QString message;
        EXPECT_EQ(parseArguments(QStringList{"vxscope-capture"} + c.args, options, message), c.result)
            << message.toStdString();
        if (c.message) {
            EXPECT_TRUE(message.contains(QLatin1String(c.message))) << message.toStdString();
        }
    }
}

TEST(CaptureArguments, TriggerSettingsReachTheSharedTriggerRecord)
{
    Options options;
    QString message;
    ASSERT_EQ(parseArguments({"vxscope-capture", "-a", "10.0.0.1", "-c", "CurMS,J2 Actual ACS", "--trigger",
                              "j2 actual acs", "--condition", "<", "--threshold", "-2.5", "--grab", "end",
                              "--absolute", "-d", "0.25", "-o", "run.csv"},
                             options, message),
              ParseResult::Run)
        << message.toStdString();
    EXPECT_TRUE(options.trigger);
    EXPECT_EQ(options.triggerChannel, "J2 Actual ACS");
    EXPECT_EQ(options.triggerSetting.channel, 1);
    EXPECT_EQ(options.triggerSetting.condition, TriggerCondition::Below);
    EXPECT_EQ(options.triggerSetting.threshold, -2.5);
    EXPECT_EQ(options.triggerSetting.grabMode, GrabMode::End);
    EXPECT_TRUE(options.triggerSetting.absoluteValue);
    EXPECT_EQ(options.durationMs, 250.0);
    EXPECT_EQ(options.output, "run.csv");
    EXPECT_TRUE(options.notes.isEmpty());

    Options txt;
    ASSERT_EQ(parseArguments({"vxscope-capture", "-a", "10.0.0.1", "-c", "CurMS", "-o", "run.txt"}, txt, message),
              ParseResult::Run);
    ASSERT_EQ(txt.notes.size(), 1);
    EXPECT_TRUE(txt.notes.first().contains(".csv"));
    Options unnamed;
    ASSERT_EQ(parseArguments({"vxscope-capture", "-a", "10.0.0.1", "-c", "CurMS"}, unnamed, message),
              ParseResult::Run);
    EXPECT_TRUE(unnamed.output.startsWith("VX_Scope_") && unnamed.output.endsWith(".csv"));
}

TEST(CaptureListing, EveryTitleOnItsOwnLineWithIndexAndUnit)
{
    const QStringList lines = channelListing().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), allChannels().count());
    EXPECT_TRUE(lines.contains("J1 Actual ACS\t49\tACS(deg)"));
    EXPECT_TRUE(lines.contains("RZ CaliData\t180\tmm"));
    EXPECT_TRUE(lines.contains("TCPCmdVel\t31\t"));
}

} // namespace

int main(int argc, char** argv)
{
    // The help text names the program from the application's arguments.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
