// The controller's byte and text formats, byte for byte.
#include "LinkPeers.h"
#include "VX_Protocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string_view>

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
        ReplyCase{"N3_oneRowPresent_notChecked", 32 + 2 * 296 - 1, 3, 3, true, true, 0},
        ReplyCase{"N3_onlyHeader", 32, 3, 3, true, true, 0},
        ReplyCase{"N3_oneByteOfRow", 33, 3, 3, true, true, 0},
        ReplyCase{"N150_only120present", 32 + 120 * 296, 150, 120, true, true, 100},
        ReplyCase{"N150_only40present", 32 + 40 * 296 + 100, 150, 40, true, true, 40},
        ReplyCase{"MoreBytesThanAnnounced_notAReply", kAll, 2, 5, false, false, 0},
        ReplyCase{"N_huge_notAReply", 32 + 4 * 296, 0xFFFFFFFFu, 4, false, false, 0},
        ReplyCase{"N65535_cut", 32 + 4 * 296, 0xFFFFu, 4, true, true, 4},
        ReplyCase{"N65536_notAReply", 32 + 4 * 296, 0x10000u, 4, false, false, 0},
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

// ------------------------------------------------------- replies read together

// Bytes of one fetch built from pieces: replies with rows numbered from
// `firstRow`, acknowledgements and stray bytes.
struct Piece
{
    enum Kind { Reply, Ack, Stray } kind;
    std::uint32_t announced;   // Reply: N; Ack/Stray: length in bytes
    std::size_t firstRow = 0;  // Reply: number of its first row
    double cpu = 0.0;
};

std::string Gather(const std::vector<Piece>& pieces)
{
    std::string bytes;
    for (const Piece& p : pieces) {
        if (p.kind == Piece::Reply) {
            std::string one = linktest::ScopeReplyBytes(p.cpu, static_cast<std::uint32_t>(p.cpu * 10),
                                                        p.announced, p.announced);
            // Renumber the rows so each reply's rows can be told apart.
            for (std::uint32_t i = 0; i < p.announced; ++i) {
                const double t = linktest::RowTime(p.firstRow + i);
                std::memcpy(&one[32 + i * 296], &t, 8);
            }
            bytes += one;
        } else {
            // An acknowledgement's bytes are the controller's own; fill them
            // with something that would misframe the rows if it were read.
            bytes += std::string(p.announced, p.kind == Piece::Ack ? '\x02' : '\x7f');
        }
    }
    return bytes;
}

struct GatherCase
{
    const char* name;
    std::vector<Piece> pieces;
    std::vector<double> expectedTimes; // time stamps of the rows taken, in order
    double expectedCpu;                // -1: figures untouched
};

std::vector<double> Times(std::size_t first, std::size_t count)
{
    std::vector<double> t;
    for (std::size_t i = 0; i < count; ++i)
        t.push_back(linktest::RowTime(first + i));
    return t;
}

std::vector<double> Concat(std::vector<double> a, const std::vector<double>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class GatheredReplies : public ::testing::TestWithParam<GatherCase>
{
};

TEST_P(GatheredReplies, RowsComeOnlyFromWholeReplies)
{
    const GatherCase& c = GetParam();
    const std::string bytes = Gather(c.pieces);
    double cpu = -1.0;
    std::uint32_t memory = 7;
    std::vector<_ST_ReadScopeData> rows;
    const ScopeReplyResult r = ReadScopeReply(bytes, &cpu, &memory, &rows);
    EXPECT_EQ(cpu, c.expectedCpu);
    EXPECT_EQ(memory, c.expectedCpu < 0 ? 7u : static_cast<std::uint32_t>(c.expectedCpu * 10));
    ASSERT_EQ(rows.size(), c.expectedTimes.size());
    EXPECT_EQ(r.appended, rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].time, c.expectedTimes[i]) << "row " << i;
        // Values sit in their columns: value k of a row is k + 0.25 plus a
        // multiple of 100, whatever row of its reply it is.
        for (std::size_t k = 0; k < 36; ++k) {
            const double rest = std::fmod(rows[i].values[k], 100.0);
            ASSERT_EQ(rest, static_cast<double>(k) + 0.25) << "row " << i << " value " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fetches, GatheredReplies,
    ::testing::Values(
        GatherCase{"LateReplyAndNextReply",
                   {{Piece::Reply, 3, 0, 1.5}, {Piece::Reply, 4, 3, 2.5}},
                   Times(0, 7), 2.5},
        GatherCase{"ThreeRepliesEachCutAtOneHundred",
                   {{Piece::Reply, 120, 0, 1.5}, {Piece::Reply, 100, 120, 2.5}, {Piece::Reply, 101, 220, 3.5}},
                   Concat(Concat(Times(0, 100), Times(120, 100)), Times(220, 100)), 3.5},
        GatherCase{"AckThenReply", {{Piece::Ack, 16}, {Piece::Reply, 5, 0, 4.5}}, Times(0, 5), 4.5},
        GatherCase{"OneByteAckThenReply", {{Piece::Ack, 1}, {Piece::Reply, 2, 0, 4.5}}, Times(0, 2), 4.5},
        GatherCase{"LongestAckThenReply", {{Piece::Ack, 31}, {Piece::Reply, 2, 0, 4.5}}, Times(0, 2), 4.5},
        GatherCase{"AckThenTwoReplies",
                   {{Piece::Ack, 16}, {Piece::Reply, 2, 0, 1.5}, {Piece::Reply, 3, 2, 5.5}},
                   Times(0, 5), 5.5},
        // After an acknowledgement only replies with rows can be recognised.
        GatherCase{"AckThenEmptyReply", {{Piece::Ack, 16}, {Piece::Reply, 0, 0, 6.5}}, {}, -1.0},
        GatherCase{"TwoEmptyReplies", {{Piece::Reply, 0, 0, 1.5}, {Piece::Reply, 0, 0, 6.5}}, {}, 6.5},
        // 32 stray bytes or more cannot be told from a reply's start: nothing.
        GatherCase{"LongStrayThenReply", {{Piece::Stray, 40}, {Piece::Reply, 3, 0, 4.5}}, {}, -1.0},
        GatherCase{"ReplyThenStray", {{Piece::Reply, 3, 0, 4.5}, {Piece::Stray, 16}}, {}, -1.0},
        // The tail of a reply whose start came with an earlier fetch.
        GatherCase{"RowTailThenReply", {{Piece::Stray, 296 * 2 + 100}, {Piece::Reply, 3, 0, 4.5}}, {}, -1.0}),
    [](const ::testing::TestParamInfo<GatherCase>& info) { return std::string(info.param.name); });

TEST(GatheredReplies, ATailOfRowsNeverBecomesRows)
{
    // A reply's rows read from any offset inside them: the row-count field
    // then falls on a time stamp or a value, and no row may come out.
    const std::string whole = linktest::ScopeReplyBytes(12.5, 1000u, 60, 60);
    const std::string next = linktest::ScopeReplyBytes(13.5, 1001u, 50, 50);
    for (std::size_t cut = 32; cut < 32 + 3 * 296; ++cut) {
        const std::string bytes = whole.substr(cut) + next;
        double cpu = -1.0;
        std::uint32_t memory = 7;
        std::vector<_ST_ReadScopeData> rows;
        ReadScopeReply(bytes, &cpu, &memory, &rows);
        ASSERT_TRUE(rows.empty()) << "tail from byte " << cut;
        ASSERT_EQ(cpu, -1.0) << "tail from byte " << cut;
    }
}

std::string MeasuredReply(std::uint32_t rowCount, double firstTime)
{
    // Rows like a running arm's: full-precision values of every sign.
    std::string bytes = linktest::ScopeReplyBytes(3.25, 4096u, rowCount, rowCount);
    for (std::uint32_t i = 0; i < rowCount; ++i) {
        double row[37];
        row[0] = firstTime + i;
        for (int k = 1; k < 37; ++k)
            row[k] = std::sin(0.37 * k + 0.011 * (firstTime + i)) * (k % 5 == 0 ? 1e4 : 1.7) - 0.3 * k;
        std::memcpy(&bytes[32 + i * 296], row, sizeof row);
    }
    return bytes;
}

TEST(GatheredReplies, ATailOfMeasuredRowsNeverBecomesRows)
{
    const std::string earlier = MeasuredReply(60, 5000.0);
    const std::string next = MeasuredReply(50, 5060.0);
    std::size_t taken = 0;
    for (std::size_t cut = 33; cut < earlier.size(); ++cut) {
        for (const std::string& bytes : {earlier.substr(cut) + next, earlier.substr(cut)}) {
            double cpu = -1.0;
            std::uint32_t memory = 7;
            std::vector<_ST_ReadScopeData> rows;
            const ScopeReplyResult r = ReadScopeReply(bytes, &cpu, &memory, &rows);
            // A tail shorter than a header is passed over like an
            // acknowledgement; then the rows are the next reply's, exactly.
            if (bytes.size() > next.size() && earlier.size() - cut < 32 && !rows.empty()) {
                ASSERT_EQ(r.skipped, earlier.size() - cut);
                ASSERT_EQ(rows.size(), 50u);
                for (std::size_t i = 0; i < rows.size(); ++i)
                    ASSERT_EQ(0, std::memcmp(&rows[i], next.data() + 32 + i * 296, 296)) << i;
                continue;
            }
            taken += rows.size();
            EXPECT_TRUE(rows.empty()) << "tail from byte " << cut << " of " << bytes.size()
                                      << ": " << r.replies << " replies, N " << r.announced;
        }
    }
    EXPECT_EQ(taken, 0u);
}

TEST(GatheredReplies, SimulatorStyleAcknowledgementBeforeMeasuredRows)
{
    // "LTBR", 16, 4, 1: the acknowledgement a subscription gets.
    std::string ack("LTBR", 4);
    for (std::uint32_t v : {16u, 4u, 1u})
        ack.append(reinterpret_cast<const char*>(&v), 4);
    const std::string bytes = ack + MeasuredReply(51, 100.0) + MeasuredReply(3, 151.0);
    double cpu = -1.0;
    std::uint32_t memory = 7;
    std::vector<_ST_ReadScopeData> rows;
    const ScopeReplyResult r = ReadScopeReply(bytes, &cpu, &memory, &rows);
    EXPECT_EQ(r.skipped, 16u);
    EXPECT_EQ(r.replies, 2u);
    ASSERT_EQ(rows.size(), 54u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i].time, 100.0 + i);
    EXPECT_EQ(cpu, 3.25);
    EXPECT_EQ(memory, 4096u);
}

TEST(GatheredReplies, RowsAreTheSameAtEveryByteAlignmentAndAreAppended)
{
    // Rows on an 8-byte boundary are taken in one block, others row by row;
    // both must give the same rows, after those already in the vector.
    const std::string reply = MeasuredReply(100, 700.0);
    for (std::size_t shift = 0; shift < 8; ++shift) {
        const std::string buffer = std::string(shift, '\0') + reply;
        const std::string_view bytes(buffer.data() + shift, reply.size());
        double cpu = -1.0;
        std::uint32_t memory = 7;
        std::vector<_ST_ReadScopeData> rows(2);
        rows[0].time = -1.0;
        rows[1].time = -2.0;
        const ScopeReplyResult r = ReadScopeReply(bytes, &cpu, &memory, &rows);
        EXPECT_EQ(r.appended, 100u) << shift;
        ASSERT_EQ(rows.size(), 102u) << shift;
        EXPECT_EQ(rows[0].time, -1.0);
        EXPECT_EQ(rows[1].time, -2.0);
        for (std::size_t i = 0; i < 100; ++i)
            ASSERT_EQ(0, std::memcmp(&rows[2 + i], reply.data() + 32 + i * 296, 296)) << shift << " " << i;
    }
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
