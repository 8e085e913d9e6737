// The controller's byte and text formats, byte for byte.
#include "LinkPeers.h"
#include "VX_Protocol.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vx;

namespace {

std::uint32_t U32At(const RequestPacket& p, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, &p[at], 4);
    return v;
}

std::int32_t I32At(const RequestPacket& p, std::size_t at)
{
    std::int32_t v;
    std::memcpy(&v, &p[at], 4);
    return v;
}

// ------------------------------------------------------------ request packet

struct RequestCase
{
    const char* name;
    std::uint32_t command;
    std::size_t indexCount;
    bool accepted;
};

class ScopeRequest : public ::testing::TestWithParam<RequestCase>
{
};

TEST_P(ScopeRequest, PacketBytes)
{
    const RequestCase& c = GetParam();
    std::vector<int> indexes;
    for (std::size_t i = 0; i < c.indexCount; ++i)
        indexes.push_back(static_cast<int>(i * 7 + 49) * (i % 2 ? -1 : 1));

    RequestPacket packet;
    packet.fill(0xAA);
    ASSERT_EQ(BuildScopeRequest(c.command, indexes, packet), c.accepted);
    if (!c.accepted) {
        for (unsigned char byte : packet)
            ASSERT_EQ(byte, 0xAA) << "a refused request must leave the packet untouched";
        return;
    }
    EXPECT_EQ(0, std::memcmp(packet.data(), "\x4C\x54\x42\x52", 4));
    EXPECT_EQ(U32At(packet, 4), 160u);
    EXPECT_EQ(U32At(packet, 8), 148u);
    EXPECT_EQ(U32At(packet, 12), c.command);
    for (std::size_t slot = 0; slot < 36; ++slot) {
        const std::int32_t expected = slot < indexes.size() ? indexes[slot] : 0;
        EXPECT_EQ(I32At(packet, 16 + slot * 4), expected) << "slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, ScopeRequest,
    ::testing::Values(RequestCase{"Read_0", kCmdReadScopeData, 0, true},
                      RequestCase{"Set_0", kCmdSetScopeIndexes, 0, true},
                      RequestCase{"Set_2", kCmdSetScopeIndexes, 2, true},
                      RequestCase{"Set_36", kCmdSetScopeIndexes, 36, true},
                      RequestCase{"Set_37", kCmdSetScopeIndexes, 37, false}),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return std::string(info.param.name); });

TEST(ScopeRequestBytes, TwoIndexesLiteral)
{
    RequestPacket packet;
    ASSERT_TRUE(BuildScopeRequest(1, {49, 50}, packet));
    const unsigned char head[] = {'L', 'T', 'B', 'R', 160, 0, 0, 0, 148, 0, 0, 0,
                                  1,   0,   0,   0,   49,  0, 0, 0, 50,  0, 0, 0};
    EXPECT_EQ(0, std::memcmp(packet.data(), head, sizeof head));
    for (std::size_t i = sizeof head; i < packet.size(); ++i)
        ASSERT_EQ(packet[i], 0) << "byte " << i;
}

// ------------------------------------------------------------ scope reply

struct ReplyCase
{
    const char* name;
    std::size_t length;        // bytes of the reply handed over (cut from a full reply)
    std::uint32_t announced;   // row count in the header
    std::size_t rowsBuilt;     // rows present in the full reply
    bool cpuSet;
    bool memorySet;
    std::size_t appended;
};

class ScopeReply : public ::testing::TestWithParam<ReplyCase>
{
};

TEST_P(ScopeReply, OutputsAndRows)
{
    const ReplyCase& c = GetParam();
    std::string full = linktest::ScopeReplyBytes(12.625, 123456789u, c.announced, c.rowsBuilt);
    const std::string reply = full.substr(0, std::min(c.length, full.size()));

    double cpu = -1.0;
    std::uint32_t memory = 7;
    // The vector keeps what the caller had and gets the new rows appended.
    std::vector<_ST_ReadScopeData> rows(2);
    rows[0].time = -5.0;
    rows[1].time = -6.0;

    const ScopeReplyResult r = ReadScopeReply(reply, &cpu, &memory, &rows);
    EXPECT_EQ(r.cpuLoadSet, c.cpuSet);
    EXPECT_EQ(r.memorySet, c.memorySet);
    EXPECT_EQ(cpu, c.cpuSet ? 12.625 : -1.0);
    EXPECT_EQ(memory, c.memorySet ? 123456789u : 7u);
    EXPECT_EQ(r.appended, c.appended);
    ASSERT_EQ(rows.size(), 2 + c.appended);
    EXPECT_EQ(rows[0].time, -5.0);
    EXPECT_EQ(rows[1].time, -6.0);
    for (std::size_t i = 0; i < c.appended; ++i) {
        ASSERT_EQ(rows[2 + i].time, linktest::RowTime(i)) << "row " << i;
        for (std::size_t k = 0; k < 36; ++k)
            ASSERT_EQ(rows[2 + i].values[k], linktest::RowValue(i, k)) << "row " << i << " value " << k;
    }
}

constexpr std::size_t kAll = static_cast<std::size_t>(-1);

INSTANTIATE_TEST_SUITE_P(
    Replies, ScopeReply,
    ::testing::Values(
        ReplyCase{"N0", kAll, 0, 0, true, true, 0},
        ReplyCase{"N3", kAll, 3, 3, true, true, 3},
        ReplyCase{"N100", kAll, 100, 100, true, true, 100},
        ReplyCase{"N150_takes100", kAll, 150, 150, true, true, 100},
        ReplyCase{"N3_lastRowCut", 32 + 3 * 296 - 1, 3, 3, true, true, 2},
        ReplyCase{"N3_onlyHeader", 32, 3, 3, true, true, 0},
        ReplyCase{"N3_oneByteOfRow", 33, 3, 3, true, true, 0},
        ReplyCase{"N150_only120present", 32 + 120 * 296, 150, 120, true, true, 100},
        ReplyCase{"N150_only40present", 32 + 40 * 296 + 100, 150, 40, true, true, 40},
        ReplyCase{"MoreBytesThanAnnounced", kAll, 2, 5, true, true, 2},
        ReplyCase{"N_huge", 32 + 4 * 296, 0xFFFFFFFFu, 4, true, true, 4},
        ReplyCase{"Short31", 31, 3, 3, true, true, 0},
        ReplyCase{"Short28", 28, 3, 3, true, true, 0},
        ReplyCase{"Short27_cpuOnly", 27, 3, 3, true, false, 0},
        ReplyCase{"Short24_cpuOnly", 24, 3, 3, true, false, 0},
        ReplyCase{"Short23_nothing", 23, 3, 3, false, false, 0},
        ReplyCase{"Short16_nothing", 16, 3, 3, false, false, 0},
        ReplyCase{"Short1_nothing", 1, 3, 3, false, false, 0},
        ReplyCase{"Empty_nothing", 0, 3, 3, false, false, 0}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST(ScopeReplyBytes, RowsComeFromTheirOwnOffsets)
{
    // A row that is all one bit pattern lands in the vector unchanged.
    std::string reply = linktest::ScopeReplyBytes(0.0, 0, 2, 2);
    std::memset(&reply[32 + 296], 0x3F, 296);
    double cpu = 0;
    std::uint32_t memory = 0;
    std::vector<_ST_ReadScopeData> rows;
    ReadScopeReply(reply, &cpu, &memory, &rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(0, std::memcmp(&rows[1], reply.data() + 32 + 296, 296));
    EXPECT_EQ(0, std::memcmp(&rows[0], reply.data() + 32, 296));
}

// ------------------------------------------------------------ command text

struct TextCase
{
    std::string name;
    int argument;
    std::vector<std::string> parameters;
    std::string expected;
};

TEST(CommandText, Table)
{
    const TextCase cases[] = {
        {"ReadRobotState", 0, {}, "ReadRobotState,0,;"},
        {"SetSpeed", 25, {"fast"}, "SetSpeed,25,fast,;"},
        {"Move", -3, {"1.5", "", "x y"}, "Move,-3,1.5,,x y,;"},
        {"", 0, {}, ",0,;"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(BuildCommandText(c.name, c.argument, c.parameters), c.expected) << c.name;
    EXPECT_EQ(BuildCommandText("ReadRobotState", 0, {}).size(), 18u);
}

// ------------------------------------------------------------ split rule

struct SplitCase
{
    std::string text;
    std::string separator;
    std::vector<std::string> fields;
};

TEST(SplitRule, Table)
{
    const SplitCase cases[] = {
        {"A,,B", ",", {"A", "", "B"}},
        {"A,B,", ",", {"A", "B"}},
        {"A,B,;", ",", {"A", "B", ";"}},
        {"A", ",", {"A"}},
        {",", ",", {""}},
        {",,", ",", {"", ""}},
        {"", ",", {}},
        {"A,B", "", {}},
        {"ReadRobotState,OK,1,2,;", ",", {"ReadRobotState", "OK", "1", "2", ";"}},
        {"a::b::", "::", {"a", "b"}},
        // The last character is the separator's first one, so nothing is
        // appended and the unterminated tail is dropped.
        {"a::b:", "::", {"a"}},
        {std::string("A\0B,C", 5), ",", {std::string("A\0B", 3), "C"}},
    };
    for (const SplitCase& c : cases) {
        std::vector<std::string> fields{"kept"};
        SplitFields(c.text, c.separator, fields);
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.fields.begin(), c.fields.end());
        EXPECT_EQ(fields, expected) << "text '" << c.text << "' separator '" << c.separator << "'";
    }
}

// ------------------------------------------------------------ numbers

TEST(DecimalReading, Table)
{
    const std::pair<std::string, int> cases[] = {
        {"35", 35},         {"  \t42", 42},      {"7x", 7},        {"x7", 0},
        {"", 0},            {"-12", -12},        {"+8", 8},        {"-", 0},
        {" 1 2", 1},        {"0042", 42},        {"2147483647", 2147483647},
        {"2147483648", 2147483647},              {"-2147483648", -2147483647 - 1},
        {"99999999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDecimal(c.first), c.second) << "'" << c.first << "'";
}

// ------------------------------------------------------------ robot state reply

struct StateCase
{
    std::string reply;
    int status;
    bool flagsSet;
    std::vector<int> flags; // when set
};

TEST(RobotStateReply, Table)
{
    const StateCase cases[] = {
        {"ReadRobotState,OK,1,2,3,4,5,6,7,8,9,;", 0, true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"ReadRobotState,OK,1,2,3,4,5,6,7,8,;", 0, false, {}},
        {"ReadRobotState,Fail,35,;", 35, false, {}},
        // A refusal without a number is no success.
        {"ReadRobotState,Fail,x,;", kNoUsableReply, false, {}},
        {"ReadRobotState,Fail,0,;", kNoUsableReply, false, {}},
        {"ReadRobotState,;", kNoUsableReply, false, {}},
        {"", kNoUsableReply, false, {}},
        {";", kNoUsableReply, false, {}},
        {"ReadRobotState", kNoUsableReply, false, {}},
        {"ReadRobotState,OK", 0, false, {}},
        {"ReadRobotState,OK,;", 0, false, {}},
        {"ReadRobotState,Fail,;", kNoUsableReply, false, {}},
        // Flags are written whatever the status.
        {"ReadRobotState,Fail,7,0,1,0,0,0,0,0,0,;", 7, true, {7, 0, 1, 0, 0, 0, 0, 0}},
        {"ReadRobotState,OK,0,0,1,0,0,0,0,0,0,10,11,;", 0, true, {0, 0, 1, 0, 0, 0, 0, 0}},
        {"ReadRobotState,OK,1,2,3,4,5,6,7,8,9", 0, true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"x,OK,a,-2, 3,4x,,6,7,8,9,;", 0, true, {0, -2, 3, 4, 0, 6, 7, 8}},
        {"ReadRobotState,ok,1,;", 1, false, {}},
        {"ReadRobotState, OK,;", kNoUsableReply, false, {}},
    };
    for (const StateCase& c : cases) {
        std::vector<std::string> fields;
        SplitFields(c.reply, ",", fields);
        EXPECT_EQ(ReadCommandStatus(fields), c.status) << c.reply;
        std::vector<int> flags(8, -99);
        int* const outputs[8] = {&flags[0], &flags[1], &flags[2], &flags[3],
                                 &flags[4], &flags[5], &flags[6], &flags[7]};
        EXPECT_EQ(ReadRobotFlags(fields, outputs), c.flagsSet) << c.reply;
        EXPECT_EQ(flags, c.flagsSet ? c.flags : std::vector<int>(8, -99)) << c.reply;
    }
}

TEST(RobotStateReply, ClosingFieldRemovedOnlyOnce)
{
    std::vector<std::string> fields{"R", "OK", ";", ";"};
    EXPECT_EQ(ReadCommandStatus(fields), 0);
    EXPECT_EQ(fields, (std::vector<std::string>{"R", "OK", ";"}));
}

} // namespace
