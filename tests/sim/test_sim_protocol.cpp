// The simulator's wire formats and options: exact bytes and texts.
#include <gtest/gtest.h>

#include <cstring>

#include "SimOptions.h"
#include "SimProtocol.h"

using namespace zps;

namespace {

std::string hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

DashRequest request(uint32_t command, std::initializer_list<int32_t> indexes)
{
    DashRequest r;
    r.command = command;
    int i = 0;
    for (int32_t v : indexes)
        r.indexes[i++] = v;
    return r;
}

// The link library's split rule for command replies, to check that our
// replies carry the fields it needs.
std::vector<std::string> splitLikeTheClient(std::string text)
{
    std::vector<std::string> fields;
    if (text.empty())
        return fields;
    if (text.back() != ',')
        text += ',';
    size_t at;
    while ((at = text.find(',')) != std::string::npos) {
        fields.push_back(text.substr(0, at));
        text.erase(0, at + 1);
    }
    if (!fields.empty() && fields.back() == ";")
        fields.pop_back();
    return fields;
}

} // namespace

TEST(DashRequestFormat, EncodesMagicLengthsCommandAndIndexesLittleEndian)
{
    const std::string bytes = encodeDashRequest(request(1, {49, 50, -1, 0x01020304}));
    ASSERT_EQ(bytes.size(), 160u);
    EXPECT_EQ(hex(bytes.substr(0, 32)), "4c544252" "a0000000" "94000000" "01000000"
                                        "31000000" "32000000" "ffffffff" "04030201");
    EXPECT_EQ(bytes.substr(32), std::string(128, '\0'));
}

TEST(DashFramer, CutsTheStreamIntoRequests)
{
    const std::string a = encodeDashRequest(request(1, {43, 44, 45}));
    const std::string b = encodeDashRequest(request(2, {}));

    struct Case
    {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<uint32_t> commands;
        size_t skipped;
    };
    const std::vector<Case> cases = {
        {"whole", {a}, {1}, 0},
        {"two in one read", {a + b}, {1, 2}, 0},
        {"byte by byte", [&] {
             std::vector<std::string> v;
             for (char c : a + b)
                 v.emplace_back(1, c);
             return v;
         }(), {1, 2}, 0},
        {"garbage before", {"xyz\x01\x02" + a}, {1}, 5},
        {"magic split over reads", {"LT", "BR" + a.substr(4)}, {1}, 0},
        {"magic with wrong lengths", {std::string("LTBR\x10\0\0\0\x04\0\0\0", 12) + b}, {2}, 12},
        {"incomplete", {a.substr(0, 159)}, {}, 0},
    };
    for (const auto& c : cases) {
        DashFramer f;
        std::vector<uint32_t> got;
        for (const auto& p : c.pieces) {
            f.feed(p.data(), p.size());
            while (auto r = f.next())
                got.push_back(r->command);
        }
        EXPECT_EQ(got, c.commands) << c.name;
        EXPECT_EQ(f.skippedBytes(), c.skipped) << c.name;
    }
}

TEST(DashFramer, KeepsTheIndexesAndBoundsItsBuffer)
{
    DashFramer f;
    const std::string a = encodeDashRequest(request(1, {169, 1, 182, 0, -7}));
    f.feed(a.data(), a.size());
    auto r = f.next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->indexes[0], 169);
    EXPECT_EQ(r->indexes[2], 182);
    EXPECT_EQ(r->indexes[4], -7);
    EXPECT_EQ(r->indexes[35], 0);

    // A megabyte without a magic leaves nothing behind but a possible
    // magic's first three bytes, and the next request still gets through.
    const std::string junk(1 << 20, 'Q');
    f.feed(junk.data(), junk.size());
    EXPECT_FALSE(f.next());
    EXPECT_EQ(f.skippedBytes(), junk.size() - 3);
    f.feed(a.data(), a.size());
    EXPECT_TRUE(f.next());
}

TEST(ScopeReplyFormat, HeaderFiguresAndRowsAtTheirOffsets)
{
    std::vector<double> rows(2 * 37);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = i * 0.5 - 3;
    const std::string reply = buildScopeReply(12.345, 262144, rows.data(), 2);
    ASSERT_EQ(reply.size(), 32u + 2 * 296);
    EXPECT_EQ(reply.substr(0, 4), "LTBR");
    EXPECT_EQ(getU32(&reply[4]), reply.size());
    EXPECT_EQ(getU32(&reply[8]), reply.size() - 12);
    EXPECT_EQ(getU32(&reply[12]), 2u);
    EXPECT_EQ(getF64(&reply[16]), 12.345);
    EXPECT_EQ(getU32(&reply[24]), 262144u);
    EXPECT_EQ(getU32(&reply[28]), 2u);
    EXPECT_EQ(getF64(&reply[32]), -3.0);                // row 0 time
    EXPECT_EQ(getF64(&reply[32 + 296]), 37 * 0.5 - 3); // row 1 time
    EXPECT_EQ(getF64(&reply[32 + 296 + 8 * 36]), 73 * 0.5 - 3);

    const auto back = parseScopeReply(reply);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->cpuLoad, 12.345);
    EXPECT_EQ(back->memory, 262144u);
    ASSERT_EQ(back->rows.size(), 2u);
    EXPECT_EQ(back->rows[1][36], rows[73]);
}

TEST(ScopeReplyFormat, EmptyReplyAndShortRepliesAreTellable)
{
    const std::string empty = buildScopeReply(1.0, 2, nullptr, 0);
    EXPECT_EQ(empty.size(), 32u);
    ASSERT_TRUE(parseScopeReply(empty));
    EXPECT_TRUE(parseScopeReply(empty)->rows.empty());

    std::vector<double> rows(3 * 37, 1.0);
    const std::string full = buildScopeReply(1.0, 2, rows.data(), 3);
    EXPECT_FALSE(parseScopeReply(full.substr(0, full.size() - 1)));
    EXPECT_FALSE(parseScopeReply(full.substr(0, 31)));
}

TEST(SubscribeAck, IsAShortHeader)
{
    EXPECT_EQ(hex(buildSubscribeAck()), "4c544252" "10000000" "04000000" "01000000");
}

TEST(CommandFramer, SplitsRequestsAtTheSemicolon)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> requests;
    };
    const std::vector<Case> cases = {
        {"the client's request", {"ReadRobotState,0,;"}, {"ReadRobotState,0,"}},
        {"two at once", {"A,0,;B,1,x,;"}, {"A,0,", "B,1,x,"}},
        {"split", {"ReadRob", "otState,0", ",;"}, {"ReadRobotState,0,"}},
        {"line ends between", {"A,0,;\r\n", "B,0,;"}, {"A,0,", "B,0,"}},
        {"no terminator yet", {"A,0,"}, {}},
        {"empty request", {";"}, {""}},
    };
    for (const auto& c : cases) {
        CommandFramer f;
        std::vector<std::string> got;
        for (const auto& p : c.pieces) {
            f.feed(p.data(), p.size());
            while (auto r = f.next())
                got.push_back(*r);
        }
        EXPECT_EQ(got, c.requests) << c.name;
    }
}

TEST(CommandFramer, DropsAnOverlongRequestAndRecovers)
{
    CommandFramer f;
    const std::string flood(3 * CommandFramer::kMaxRequest, 'x');
    f.feed(flood.data(), flood.size());
    EXPECT_FALSE(f.next());
    EXPECT_EQ(f.overlong(), 1u);
    const std::string rest = "tail;ReadRobotState,0,;";
    f.feed(rest.data(), rest.size());
    auto r = f.next();
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, "ReadRobotState,0,");
    EXPECT_FALSE(f.next());
}

TEST(TextCommand, ParsesNameAndFields)
{
    struct Case
    {
        const char* text;
        const char* name;
        std::vector<std::string> fields;
    };
    const std::vector<Case> cases = {
        {"ReadRobotState,0,", "ReadRobotState", {"0"}},
        {"Move,3,a,,b,", "Move", {"3", "a", "", "b"}},
        {"Bare", "Bare", {}},
        {"", "", {}},
        {",0,", "", {"0"}},
    };
    for (const auto& c : cases) {
        const TextCommand cmd = parseTextCommand(c.text);
        EXPECT_EQ(cmd.name, c.name) << c.text;
        EXPECT_EQ(cmd.fields, c.fields) << c.text;
    }
}

TEST(TextReplies, RobotStateCarriesNineValuesTheClientCanRead)
{
    const std::string reply = robotStateReply({1, 1, 0, 1, 0, 0, 0, 0, 0});
    EXPECT_EQ(reply, "ReadRobotState,OK,1,1,0,1,0,0,0,0,0,;");
    const auto fields = splitLikeTheClient(reply);
    ASSERT_GE(fields.size(), 11u);
    EXPECT_EQ(fields[1], "OK");
    EXPECT_EQ(fields[4], "0"); // third flag

    EXPECT_EQ(failReply("Foo", 1001), "Foo,Fail,1001,;");
    EXPECT_EQ(splitLikeTheClient(failReply("Foo", 1001))[2], "1001");
}

TEST(SimOptionsParsing, AcceptsEveryOptionWithItsValue)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(parseOptions({"--address", "127.0.1.9", "--rpc-port=2100", "--cmd-port", "2101", "--dash-port",
                              "2102", "--no-rpc", "--cmd-mode", "garbage", "--dash-mode=truncated", "--rpc-mode",
                              "wrong-shape", "--dash-delay", "250", "--cmd-split", "10:3", "--dash-close-after", "900",
                              "--robot-error", "--refuse-scripts", "--log-scripts", "/tmp/x", "--backlog-ms", "500",
                              "--home", "1,-2,3,-4,5,-6", "--verbose", "--control-stdin"},
                             o, error))
        << error;
    EXPECT_EQ(o.address, "127.0.1.9");
    EXPECT_EQ(o.rpcPort, 2100);
    EXPECT_EQ(o.cmdPort, 2101);
    EXPECT_EQ(o.dashPort, 2102);
    EXPECT_FALSE(o.rpc.listen);
    EXPECT_TRUE(o.cmd.listen);
    EXPECT_EQ(o.cmd.mode, ReplyMode::Garbage);
    EXPECT_EQ(o.dash.mode, ReplyMode::Truncated);
    EXPECT_EQ(o.rpc.mode, ReplyMode::WrongShape);
    EXPECT_EQ(o.dash.delayMs, 250);
    EXPECT_EQ(o.cmd.splitBytes, 10);
    EXPECT_EQ(o.cmd.splitGapMs, 3);
    EXPECT_EQ(o.dashCloseAfterMs, 900);
    EXPECT_TRUE(o.robotError);
    EXPECT_TRUE(o.refuseScripts);
    EXPECT_EQ(o.scriptLog, "/tmp/x");
    EXPECT_EQ(o.backlogMs, 500);
    EXPECT_EQ(o.home, (std::array<int, 6>{1, -2, 3, -4, 5, -6}));
    EXPECT_TRUE(o.verbose);
    EXPECT_TRUE(o.controlStdin);
}

TEST(SimOptionsParsing, RejectsBadInputWithAMessage)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--address", "localhost"}, {"--address", "1.2.3"},  {"--rpc-port", "0"},       {"--rpc-port", "70000"},
        {"--cmd-mode", "wrong-shape"}, {"--dash-mode", "loud"}, {"--dash-delay", "-1"}, {"--dash-delay", "12ms"},
        {"--cmd-split", "10"},          {"--cmd-split", "a:b"}, {"--home", "1,2,3"},    {"--home", "1,2,3,4,5,6,7"},
        {"--bogus"},                    {"stray"},              {"--address"},          {"--robot-error=maybe"},
    };
    for (const auto& args : bad) {
        SimOptions o;
        std::string error;
        EXPECT_FALSE(parseOptions(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(SimOptionsParsing, WhileRunningOnlyFaultsMayChange)
{
    SimOptions o;
    std::string error;
    EXPECT_TRUE(applyOption(o, "dash-mode", "silent", true, error));
    EXPECT_EQ(o.dash.mode, ReplyMode::Silent);
    EXPECT_TRUE(applyOption(o, "robot-error", "on", true, error));
    EXPECT_TRUE(o.robotError);
    EXPECT_TRUE(applyOption(o, "robot-error", "off", true, error));
    EXPECT_FALSE(o.robotError);
    EXPECT_FALSE(applyOption(o, "address", "127.0.0.2", true, error));
    EXPECT_FALSE(applyOption(o, "no-dash", "", true, error));
    EXPECT_EQ(o.address, "127.0.0.1");
}

TEST(SimOptionsParsing, HelpListsEveryOption)
{
    const std::string usage = usageText();
    for (const char* name : {"--address", "--no-rpc", "--no-cmd", "--no-dash", "--rpc-mode", "--cmd-mode",
                             "--dash-mode", "--rpc-delay", "--cmd-delay", "--dash-delay", "--cmd-split", "--dash-split",
                             "--dash-close-after", "--robot-error", "--refuse-scripts", "--log-scripts", "--backlog-ms",
                             "--home", "--control-stdin", "--verbose", "--help"})
        EXPECT_NE(usage.find(name), std::string::npos) << name;
}

TEST(HttpHeadParsing, ReadsWhatTheXmlRpcPortNeeds)
{
    const HttpHead h = parseHttpHead("POST /RPC2 HTTP/1.1\r\nHost: 127.0.0.1:20000\r\ncontent-LENGTH:  123 \r\n"
                                     "Expect: 100-Continue\r\nContent-Type: text/xml");
    EXPECT_TRUE(h.valid);
    EXPECT_EQ(h.method, "POST");
    EXPECT_EQ(h.path, "/RPC2");
    EXPECT_EQ(h.contentLength, 123);
    EXPECT_TRUE(h.expectContinue);
    EXPECT_FALSE(h.chunked);

    const HttpHead chunked = parseHttpHead("POST /RPC2 HTTP/1.1\r\nTransfer-Encoding: chunked");
    EXPECT_TRUE(chunked.valid);
    EXPECT_TRUE(chunked.chunked);
    EXPECT_EQ(chunked.contentLength, -1);

    for (const char* bad : {"", "GARBAGE", "POST /RPC2", "POST /RPC2 XYZ/1.0",
                            "POST /RPC2 HTTP/1.0\r\nContent-Length: -5", "POST /RPC2 HTTP/1.0\r\nContent-Length: 12x"})
        EXPECT_FALSE(parseHttpHead(bad).valid) << bad;
}

TEST(XmlRpcStringParam, DecodesTheStringExactly)
{
    const std::string call = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>StartScript</methodName>\r\n<params>\r\n"
                             "<param><value><i4>0</i4></value></param>\r\n<param><value><i4>0</i4></value></param>\r\n"
                             "<param><value><string>a&#x0d;\nb &lt;&gt;&amp;&quot;&apos; &#233;&#x20AC;\xc3\xbc"
                             "</string></value></param>\r\n</params>\r\n</methodCall>\r\n";
    EXPECT_EQ(xmlRpcStringParam(call, 2), std::optional<std::string>("a\r\nb <>&\"' \xc3\xa9\xe2\x82\xac\xc3\xbc"));
    EXPECT_EQ(xmlRpcStringParam(call, 0), std::nullopt) << "an int is no string";
    EXPECT_EQ(xmlRpcStringParam(call, 3), std::nullopt);

    struct Case
    {
        const char* value;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {"<value><string/></value>", std::string()},
        {"<value><string></string></value>", std::string()},
        {"<value>untyped &amp; plain</value>", std::string("untyped & plain")},
        {"<value><string>literal\r\nline end\rhere</string></value>", std::string("literal\nline end\nhere")},
        {"<value><string>&bogus;</string></value>", std::nullopt},
        {"<value><string>&#x110000;</string></value>", std::nullopt},
        {"<value><string>unterminated</value>", std::nullopt},
        {"<value><array><data></data></array></value>", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string xml = std::string("<methodCall><params><param>") + c.value + "</param></params></methodCall>";
        EXPECT_EQ(xmlRpcStringParam(xml, 0), c.text) << c.value;
    }
}
