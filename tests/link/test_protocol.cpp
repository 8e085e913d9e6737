// The controller's byte and text formats, byte for byte.
#include "LinkPeers.h"
#include "VX_Protocol.h"
#include "VX_ScopeStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
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

// One reply read by a reader that has seen nothing before it.
struct ReplyCase
{
    const char* name;
    std::size_t length;        // bytes of the reply handed over (cut from a full reply)
    std::uint32_t announced;   // row count in the header
    std::size_t rowsBuilt;     // rows present in the full reply
    bool figuresSet;
    std::size_t appended;
    bool broken;
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

    ScopeStreamReader reader;
    const ScopeStreamResult r = reader.Read(reply, &cpu, &memory, &rows);
    EXPECT_EQ(r.headers, c.figuresSet ? 1u : 0u);
    EXPECT_EQ(cpu, c.figuresSet ? 12.625 : -1.0);
    EXPECT_EQ(memory, c.figuresSet ? 123456789u : 7u);
    EXPECT_EQ(r.broken, c.broken);
    EXPECT_EQ(reader.BrokenReplies(), c.broken ? 1u : 0u);
    EXPECT_EQ(r.appended, c.appended);
    ASSERT_EQ(rows.size(), 2 + c.appended);
    EXPECT_EQ(rows[0].time, -5.0);
    EXPECT_EQ(rows[1].time, -6.0);
    for (std::size_t i = 0; i < c.appended; ++i)
        ASSERT_EQ(0, std::memcmp(&rows[2 + i], full.data() + 32 + i * 296, 296)) << "row " << i;
    // What is not whole is kept for the next fetch; a broken stream looks
    // for the next reply.
    EXPECT_EQ(reader.Resynchronising(), c.broken);
    if (c.broken)
        return;
    const std::size_t header = std::min<std::size_t>(reply.size(), 32);
    const std::size_t rowPart = reply.size() < 32 || c.appended >= std::min<std::size_t>(c.announced, 100)
                                    ? 0
                                    : (reply.size() - 32) % 296;
    EXPECT_EQ(reader.Kept(), (header < 32 ? header : 0) + rowPart);
}

constexpr std::size_t kAll = static_cast<std::size_t>(-1);

INSTANTIATE_TEST_SUITE_P(
    Replies, ScopeReply,
    ::testing::Values(
        ReplyCase{"N0", kAll, 0, 0, true, 0, false},
        ReplyCase{"N3", kAll, 3, 3, true, 3, false},
        ReplyCase{"N100", kAll, 100, 100, true, 100, false},
        ReplyCase{"N150_takes100", kAll, 150, 150, true, 100, false},
        ReplyCase{"N3_lastRowCut", 32 + 3 * 296 - 1, 3, 3, true, 2, false},
        ReplyCase{"N3_oneRowPresent", 32 + 2 * 296 - 1, 3, 3, true, 1, false},
        ReplyCase{"N3_onlyHeader", 32, 3, 3, true, 0, false},
        ReplyCase{"N3_oneByteOfRow", 33, 3, 3, true, 0, false},
        ReplyCase{"N150_only120present", 32 + 120 * 296, 150, 120, true, 100, false},
        ReplyCase{"N150_only40present", 32 + 40 * 296 + 100, 150, 40, true, 40, false},
        ReplyCase{"N65535_cut", 32 + 4 * 296, 0xFFFFu, 4, true, 4, false},
        // A count no controller sends, before any sound reply: no reply
        // starts there, and no row after it is taken.
        ReplyCase{"N65536_broken_nothingTaken", 32 + 4 * 296 + 17, 0x10000u, 4, false, 0, true},
        ReplyCase{"Nhuge_broken_nothingTaken", 32 + 296 + 100, 0xFFFFFFFFu, 2, false, 0, true},
        ReplyCase{"Short31_kept", 31, 3, 3, false, 0, false},
        ReplyCase{"Short24_kept", 24, 3, 3, false, 0, false},
        ReplyCase{"Short1_kept", 1, 3, 3, false, 0, false},
        ReplyCase{"Empty_nothing", 0, 3, 3, false, 0, false}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------- the reply stream

// A stream the controller may send: acknowledgements and replies whose rows
// are numbered across the stream, with where each row and header ends.
struct Stream
{
    std::string bytes;
    std::vector<std::string> rows;       // the rows to deliver, in order
    std::vector<std::size_t> rowEnds;    // where each of them ends in `bytes`
    std::vector<std::size_t> headerEnds; // where each reply header ends
    std::vector<double> cpu;             // each reply's CPU load
    std::uint64_t overCap = 0;
    bool framed = false; // header bytes 0 to 15 as the simulator sends them

    void Ack()
    {
        bytes.append("LTBR", 4);
        for (std::uint32_t v : {16u, 4u, 1u})
            bytes.append(reinterpret_cast<const char*>(&v), 4);
    }
    void Reply(std::uint32_t count)
    {
        const double load = 0.5 + static_cast<double>(cpu.size());
        std::string one = linktest::ScopeReplyBytes(load, static_cast<std::uint32_t>(cpu.size()), count, count);
        if (framed) {
            const std::uint32_t frame[4] = {0x5242544Cu /* "LTBR" */, static_cast<std::uint32_t>(one.size()),
                                            static_cast<std::uint32_t>(one.size() - 12), 2};
            std::memcpy(&one[0], frame, sizeof frame);
        }
        const std::size_t start = bytes.size();
        for (std::uint32_t i = 0; i < count; ++i) {
            const double t = static_cast<double>(next++);
            std::memcpy(&one[32 + i * 296], &t, 8);
        }
        bytes += one;
        headerEnds.push_back(start + 32);
        cpu.push_back(load);
        for (std::uint32_t i = 0; i < std::min(count, 100u); ++i) {
            rows.push_back(one.substr(32 + i * 296, 296));
            rowEnds.push_back(start + 32 + (i + 1) * 296);
        }
        overCap += count > 100 ? count - 100 : 0;
    }
    // A reply of `count` rows (at most 100) that the controller cut short
    // after `present` of them.
    void CutShort(std::uint32_t count, std::uint32_t present)
    {
        Reply(count);
        bytes.resize(headerEnds.back() + present * 296);
        rows.resize(rows.size() - (count - present));
        rowEnds.resize(rows.size());
    }
    std::size_t next = 0;
};

Stream MixedStream()
{
    Stream s;
    s.Ack();
    s.Reply(3);
    s.Reply(0);
    s.Ack();
    s.Reply(2);
    s.Reply(150);
    s.Reply(1);
    s.Ack();
    return s;
}

// Reads `bytes` in pieces ending at `cuts` and checks after each piece that
// exactly the rows wholly inside the bytes so far have come, byte for byte,
// and the figures of the newest whole header.
void ExpectPiecesGiveTheStream(const Stream& s, const std::vector<std::size_t>& cuts)
{
    ScopeStreamReader reader;
    std::vector<_ST_ReadScopeData> rows;
    double cpu = -1.0;
    std::uint32_t memory = 7;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        reader.Read(std::string_view(s.bytes).substr(from, cut - from), &cpu, &memory, &rows);
        from = cut;
        const std::size_t whole =
            std::upper_bound(s.rowEnds.begin(), s.rowEnds.end(), cut) - s.rowEnds.begin();
        const std::size_t headers =
            std::upper_bound(s.headerEnds.begin(), s.headerEnds.end(), cut) - s.headerEnds.begin();
        ASSERT_EQ(rows.size(), whole) << "after byte " << cut;
        ASSERT_EQ(cpu, headers ? s.cpu[headers - 1] : -1.0) << "after byte " << cut;
        ASSERT_EQ(memory, headers ? headers - 1 : 7u) << "after byte " << cut;
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(0, std::memcmp(&rows[i], s.rows[i].data(), 296)) << "row " << i;
    EXPECT_TRUE(reader.AtBoundary());
    EXPECT_EQ(reader.BrokenReplies(), 0u);
    EXPECT_EQ(reader.RowsOverCap(), s.overCap);
}

TEST(ScopeStream, AStreamCutAnywhereGivesEveryRowOnceAsSoonAsItIsWhole)
{
    const Stream s = MixedStream();
    const std::size_t length = s.bytes.size();
    // Two pieces, cut at every byte near a header or row end (inside the
    // headers and acknowledgements, between rows) and every 29th elsewhere.
    auto nearEnd = [&](std::size_t p) {
        for (const auto* ends : {&s.rowEnds, &s.headerEnds})
            for (std::size_t end : *ends)
                if (p + 12 >= end && p <= end + 12)
                    return true;
        return false;
    };
    for (std::size_t p = 0; p <= length; ++p)
        if (p < 64 || nearEnd(p) || p % 29 == 0)
            ExpectPiecesGiveTheStream(s, {p, length});
    // One byte at a time.
    std::vector<std::size_t> bytewise(length);
    std::iota(bytewise.begin(), bytewise.end(), 1);
    ExpectPiecesGiveTheStream(s, bytewise);
}

// A controller whose header bytes 0 to 15 say nothing (its first reply
// shows it): after a break the next fetch is taken as a new reply.
TEST(ScopeStream, ABrokenHeaderTakesTheRowsPresentAndTheNextFetchStartsAfresh)
{
    ScopeStreamReader reader;
    std::vector<_ST_ReadScopeData> rows;
    double cpu = -1.0;
    std::uint32_t memory = 7;
    // A good reply, then a header with a count no controller sends, one
    // whole row and a part of the next.
    const std::string good = linktest::ScopeReplyBytes(1.5, 15u, 2, 2);
    const std::string broken = linktest::ScopeReplyBytes(2.5, 25u, 0x80000000u, 2, 2);
    ScopeStreamResult r = reader.Read(good + broken.substr(0, 32 + 296 + 50), &cpu, &memory, &rows);
    EXPECT_TRUE(r.broken);
    EXPECT_EQ(r.headers, 2u);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(0, std::memcmp(&rows[2], broken.data() + 32, 296));
    EXPECT_EQ(reader.BrokenReplies(), 1u);
    EXPECT_TRUE(reader.AtBoundary()) << "the rest of the fetch is dropped";

    // The next fetch starts with a new reply.
    const std::string next = linktest::ScopeReplyBytes(3.5, 35u, 3, 3);
    r = reader.Read(next, &cpu, &memory, &rows);
    EXPECT_FALSE(r.broken);
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(0, std::memcmp(&rows[3 + i], next.data() + 32 + i * 296, 296)) << i;
    EXPECT_EQ(cpu, 3.5);
    EXPECT_EQ(memory, 35u);

    // A new connection forgets a reply left half read, and the counts.
    reader.Read(linktest::ScopeReplyBytes(3.5, 35u, 3, 3, 3).substr(0, 32 + 296 + 7), &cpu, &memory, &rows);
    EXPECT_FALSE(reader.AtBoundary());
    reader.Reset();
    EXPECT_TRUE(reader.AtBoundary());
    EXPECT_EQ(reader.BrokenReplies(), 0u);
    rows.clear();
    reader.Read(good, &cpu, &memory, &rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(0, std::memcmp(rows.data(), good.data() + 32, 2 * 296));

    // A reply cut short by a faulty controller: the next reply's header and
    // rows stand where its rows were due. No row is made of them (their
    // stamps do not rise); the fetch after that is read whole. (A row cut
    // inside would be finished by the next reply's first bytes: its stamp is
    // the controller's, its values are not; nothing in a stream tells.)
    for (const std::size_t cut : {std::size_t(32 + 2 * 296)}) {
        reader.Reset();
        rows.clear();
        const std::string shortReply = linktest::ScopeReplyBytes(1.5, 15u, 5, 5).substr(0, cut);
        const std::string after = linktest::ScopeReplyBytes(2.5, 25u, 4, 4, 5);
        r = reader.Read(shortReply, &cpu, &memory, &rows);
        r = reader.Read(after, &cpu, &memory, &rows);
        EXPECT_TRUE(r.broken) << cut;
        const std::size_t whole = (cut - 32) / 296;
        ASSERT_EQ(rows.size(), whole) << cut;
        EXPECT_EQ(0, std::memcmp(rows.data(), shortReply.data() + 32, whole * 296)) << cut;
        reader.Read(after, &cpu, &memory, &rows);
        ASSERT_EQ(rows.size(), whole + 4) << cut;
        EXPECT_EQ(0, std::memcmp(&rows[whole], after.data() + 32, 4 * 296)) << cut;
    }
}

TEST(ScopeStream, AFramedStreamIsFoundAgainAfterBytesThatMakeNoReply)
{
    // A framed controller's answers with what a faulty controller puts
    // before and between them: the simulator's garbage reply (a count of 2^32 - 1 and
    // 40 bytes more), stray bytes, a reply cut short after whole rows. Cut
    // into fetches anywhere (late replies bring the rest of a broken one into
    // the next fetch), the stream gives exactly the rows of the answers, each
    // once and in order, none made of the bytes between, and counts a break
    // for every stretch of faults between two answers.
    std::string junk = "JUNK";
    for (std::uint32_t v : {0xDEADBEEFu, 7u, 99u, 0u, 0xBFF00000u, 0xFFFFFFFFu, 0xFFFFFFFFu})
        junk.append(reinterpret_cast<const char*>(&v), 4);
    for (int i = 0; i < 40; ++i)
        junk.push_back(static_cast<char>((i * 73 + 11) & 0xFF));
    std::mt19937 random(19);
    for (int trial = 0; trial < 300; ++trial) {
        Stream s;
        s.framed = true;
        std::uint64_t gaps = 0;
        bool sound = true;
        // The first answer may be cut short too: an acknowledgement, or a
        // reply without rows cut inside its header, the next answer's bytes
        // standing in for the rest. Only its "LTBR" tells the frame.
        if (const unsigned first = random() % 3; first == 0) {
            s.Reply(random() % 4);
        } else {
            if (first == 1)
                s.Ack();
            else
                s.Reply(0);
            s.bytes.resize(s.bytes.size() - (first == 1 ? 8 : 16));
            s.Reply(1 + random() % 3);
            gaps = 1;
        }
        for (int m = 0; m < 10; ++m) {
            const unsigned what = random() % 5;
            gaps += sound && what >= 2;
            sound = what < 2;
            if (what == 0) {
                s.Ack();
            } else if (what == 1) {
                s.Reply(random() % 130);
            } else if (what == 2) {
                s.bytes += junk;
            } else if (what == 3) {
                for (std::size_t n = 1 + random() % 400; n > 0; --n)
                    s.bytes.push_back(static_cast<char>(random()));
            } else {
                const std::uint32_t count = 1 + random() % 20;
                s.CutShort(count, random() % count);
                s.Reply(1 + random() % 3); // enough bytes to show the cut
                sound = true;
            }
        }
        s.Reply(1 + random() % 3); // a fault shows only when bytes follow it
        ScopeStreamReader reader;
        std::vector<_ST_ReadScopeData> rows;
        double cpu = -1.0;
        std::uint32_t memory = 7;
        for (std::size_t from = 0; from < s.bytes.size();) {
            const std::size_t piece = std::min<std::size_t>(s.bytes.size() - from, random() % 2 ? random() % 40 : random() % 2000);
            reader.Read(std::string_view(s.bytes).substr(from, piece), &cpu, &memory, &rows);
            from += piece;
        }
        ASSERT_EQ(rows.size(), s.rows.size()) << "trial " << trial;
        for (std::size_t i = 0; i < rows.size(); ++i)
            ASSERT_EQ(0, std::memcmp(&rows[i], s.rows[i].data(), 296)) << "trial " << trial << ", row " << i;
        EXPECT_GE(reader.BrokenReplies(), gaps) << "trial " << trial;
        EXPECT_EQ(reader.BrokenReplies() == 0, gaps == 0) << "trial " << trial;
        EXPECT_TRUE(reader.FindsRepliesAfterBreaks());
    }
}

TEST(ScopeStream, RowsAreTheSameAtEveryByteAlignmentAndAreAppended)
{
    // Rows on an 8-byte boundary are taken in one block, others row by row;
    // both must give the same rows, after those already in the vector.
    const std::string reply = linktest::ScopeReplyBytes(3.25, 4096u, 100, 100);
    for (std::size_t shift = 0; shift < 8; ++shift) {
        const std::string buffer = std::string(shift, '\0') + reply;
        const std::string_view bytes(buffer.data() + shift, reply.size());
        double cpu = -1.0;
        std::uint32_t memory = 7;
        std::vector<_ST_ReadScopeData> rows(2);
        rows[0].time = -1.0;
        rows[1].time = -2.0;
        ScopeStreamReader reader;
        const ScopeStreamResult r = reader.Read(bytes, &cpu, &memory, &rows);
        EXPECT_EQ(r.appended, 100u) << shift;
        ASSERT_EQ(rows.size(), 102u) << shift;
        EXPECT_EQ(rows[0].time, -1.0);
        EXPECT_EQ(rows[1].time, -2.0);
        for (std::size_t i = 0; i < 100; ++i)
            ASSERT_EQ(0, std::memcmp(&rows[2 + i], reply.data() + 32 + i * 296, 296)) << shift << " " << i;
    }
}

TEST(ScopeStream, ARowIsTakenOnlyWhenItsStampIsAClockReadingThatRises)
{
    // Ten rows, checked four at a time and the rest one by one: a stamp
    // that fails at any place ends the reply there, and every stamp a clock
    // can give, however near the edges, is taken.
    const double huge = 9007199254740992.0; // 2^53
    const double tiny = std::numeric_limits<double>::min();
    auto read = [](const std::vector<double>& stamps, ScopeStreamResult* result) {
        std::string reply = linktest::ScopeReplyBytes(1.0, 1u, std::uint32_t(stamps.size()), stamps.size());
        for (std::size_t i = 0; i < stamps.size(); ++i)
            std::memcpy(&reply[32 + i * 296], &stamps[i], 8);
        ScopeStreamReader reader;
        std::vector<_ST_ReadScopeData> rows;
        double cpu = 0.0;
        std::uint32_t memory = 0;
        *result = reader.Read(reply, &cpu, &memory, &rows);
        return rows.size();
    };
    ScopeStreamResult r;
    EXPECT_EQ(read({-huge, -5.0, -4.5, -1e-300, -0.0, tiny, 1.0, 2.0, 1e15, huge}, &r), 10u);
    EXPECT_FALSE(r.broken);
    // Each bad stamp would rise over the one before it (stamps from -1000
    // upwards); only what it is makes it fail.
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          tiny / 2, std::numeric_limits<double>::denorm_min(), 2 * huge, -2 * huge};
    for (std::size_t at = 0; at < 10; ++at) {
        std::vector<double> stamps(10);
        std::iota(stamps.begin(), stamps.end(), -1000.0);
        for (const double value : bad) {
            if (at > 0 && value == -2 * huge)
                continue; // would not rise
            stamps[at] = value;
            EXPECT_EQ(read(stamps, &r), at) << "stamp " << value << " at " << at;
            EXPECT_TRUE(r.broken);
        }
        if (at > 0) {
            stamps[at] = stamps[at - 1];
            EXPECT_EQ(read(stamps, &r), at) << "a stamp equal to the one before, at " << at;
        }
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
