#include "SimOptions.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>

namespace zps {
namespace {

enum class Kind { Switch, Value };

struct OptionInfo
{
    const char* name;
    Kind kind;
    bool runtime; // may change while serving
    const char* arg;
    const char* help;
};

const OptionInfo kOptions[] = {
    {"address", Kind::Value, false, "IPV4", "address to serve on (default 127.0.0.1)"},
    {"rpc-port", Kind::Value, false, "PORT", "XML-RPC port (default 20000)"},
    {"cmd-port", Kind::Value, false, "PORT", "text command port (default 10003)"},
    {"dash-port", Kind::Value, false, "PORT", "dashboard port (default 20003)"},
    {"no-rpc", Kind::Switch, false, "", "do not listen on the XML-RPC port (connections are refused)"},
    {"no-cmd", Kind::Switch, false, "", "do not listen on the text command port"},
    {"no-dash", Kind::Switch, false, "", "do not listen on the dashboard port"},
    {"rpc-mode", Kind::Value, true, "MODE", "normal|silent|garbage|truncated|wrong-shape"},
    {"cmd-mode", Kind::Value, true, "MODE", "normal|silent|garbage|truncated"},
    {"dash-mode", Kind::Value, true, "MODE", "normal|silent|garbage|truncated"},
    {"rpc-delay", Kind::Value, true, "MS", "answer XML-RPC calls MS milliseconds late"},
    {"cmd-delay", Kind::Value, true, "MS", "answer text commands MS milliseconds late"},
    {"dash-delay", Kind::Value, true, "MS", "answer dashboard requests MS milliseconds late"},
    {"cmd-split", Kind::Value, true, "BYTES:MS", "send text replies in pieces of BYTES, MS apart"},
    {"dash-split", Kind::Value, true, "BYTES:MS", "send dashboard replies in pieces of BYTES, MS apart"},
    {"dash-cuts", Kind::Value, true, "SEED:MS",
     "cut every dashboard answer at up to 4 random points (some inside its header, some one byte apart) "
     "with pauses of 0..MS between the pieces; the same SEED gives the same cuts; 0:0 = off"},
    {"dash-close-after", Kind::Value, true, "MS", "close each dashboard connection MS after it opened (0 = never)"},
    {"robot-error", Kind::Switch, true, "", "report a robot error (third state flag 1)"},
    {"refuse-scripts", Kind::Switch, true, "", "answer StartScript with a fault"},
    {"log-scripts", Kind::Value, true, "FILE", "write each accepted script's text to FILE (replaced whole)"},
    {"backlog-ms", Kind::Value, false, "MS", "keep at most MS of unfetched scope rows (default 2000)"},
    {"home", Kind::Value, true, "A1,..,A6", "initial machine origin (encoder counts)"},
    {"control-stdin", Kind::Switch, false, "", "read control commands from stdin, one per line; exit at end of input"},
    {"verbose", Kind::Switch, true, "", "log what arrives on every port to stderr"},
    {"help", Kind::Switch, false, "", "show this text"},
};

const OptionInfo* find(const std::string& name)
{
    for (const auto& o : kOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

bool toInt(const std::string& s, long lo, long hi, long& out)
{
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool toMode(const std::string& s, bool rpc, ReplyMode& m)
{
    if (s == "normal")
        m = ReplyMode::Normal;
    else if (s == "silent")
        m = ReplyMode::Silent;
    else if (s == "garbage")
        m = ReplyMode::Garbage;
    else if (s == "truncated")
        m = ReplyMode::Truncated;
    else if (s == "wrong-shape" && rpc)
        m = ReplyMode::WrongShape;
    else
        return false;
    return true;
}

bool toSwitch(const std::string& s, bool& out)
{
    if (s.empty() || s == "on" || s == "1")
        out = true;
    else if (s == "off" || s == "0")
        out = false;
    else
        return false;
    return true;
}

} // namespace

const char* modeName(ReplyMode m)
{
    switch (m) {
    case ReplyMode::Normal: return "normal";
    case ReplyMode::Silent: return "silent";
    case ReplyMode::Garbage: return "garbage";
    case ReplyMode::Truncated: return "truncated";
    case ReplyMode::WrongShape: return "wrong-shape";
    }
    return "?";
}

bool optionTakesValue(const std::string& name)
{
    const OptionInfo* o = find(name);
    return o && o->kind == Kind::Value;
}

bool applyOption(SimOptions& opt, const std::string& name, const std::string& value, bool running,
                 std::string& error)
{
    const OptionInfo* info = find(name);
    if (!info) {
        error = "unknown option '" + name + "'";
        return false;
    }
    if (running && !info->runtime) {
        error = "'" + name + "' cannot change while serving";
        return false;
    }
    const auto bad = [&](const char* what) {
        error = "bad value '" + value + "' for " + name + ": " + what;
        return false;
    };
    long n = 0;
    if (info->kind == Kind::Switch) {
        bool on = false;
        if (!toSwitch(value, on))
            return bad("expected on or off");
        if (name == "no-rpc") opt.rpc.listen = !on;
        else if (name == "no-cmd") opt.cmd.listen = !on;
        else if (name == "no-dash") opt.dash.listen = !on;
        else if (name == "robot-error") opt.robotError = on;
        else if (name == "refuse-scripts") opt.refuseScripts = on;
        else if (name == "control-stdin") opt.controlStdin = on;
        else if (name == "verbose") opt.verbose = on;
        else if (name == "help") opt.help = on;
        return true;
    }
    if (name == "address") {
        in_addr a{};
        if (inet_pton(AF_INET, value.c_str(), &a) != 1)
            return bad("expected a dotted IPv4 address");
        opt.address = value;
    } else if (name == "rpc-port" || name == "cmd-port" || name == "dash-port") {
        if (!toInt(value, 1, 65535, n))
            return bad("expected a port 1..65535");
        (name == "rpc-port" ? opt.rpcPort : name == "cmd-port" ? opt.cmdPort : opt.dashPort) =
            static_cast<uint16_t>(n);
    } else if (name == "rpc-mode" || name == "cmd-mode" || name == "dash-mode") {
        PortFaults& p = name == "rpc-mode" ? opt.rpc : name == "cmd-mode" ? opt.cmd : opt.dash;
        if (!toMode(value, name == "rpc-mode", p.mode))
            return bad("unknown mode");
    } else if (name == "rpc-delay" || name == "cmd-delay" || name == "dash-delay") {
        if (!toInt(value, 0, 600000, n))
            return bad("expected milliseconds 0..600000");
        (name == "rpc-delay" ? opt.rpc : name == "cmd-delay" ? opt.cmd : opt.dash).delayMs = static_cast<int>(n);
    } else if (name == "cmd-split" || name == "dash-split") {
        const size_t colon = value.find(':');
        long bytes = 0, gap = 0;
        if (colon == std::string::npos || !toInt(value.substr(0, colon), 0, 1 << 24, bytes) ||
            !toInt(value.substr(colon + 1), 0, 60000, gap))
            return bad("expected BYTES:MS");
        PortFaults& p = name == "cmd-split" ? opt.cmd : opt.dash;
        p.splitBytes = static_cast<int>(bytes);
        p.splitGapMs = static_cast<int>(gap);
    } else if (name == "dash-cuts") {
        const size_t colon = value.find(':');
        long seed = 0, gap = 0;
        if (colon == std::string::npos || !toInt(value.substr(0, colon), 0, 2147483647L, seed) ||
            !toInt(value.substr(colon + 1), 0, 60000, gap))
            return bad("expected SEED:MS");
        opt.dashCutSeed = static_cast<uint32_t>(seed);
        opt.dashCutMaxGapMs = static_cast<int>(gap);
    } else if (name == "dash-close-after") {
        if (!toInt(value, 0, 86400000, n))
            return bad("expected milliseconds");
        opt.dashCloseAfterMs = static_cast<int>(n);
    } else if (name == "log-scripts") {
        opt.scriptLog = value;
    } else if (name == "backlog-ms") {
        if (!toInt(value, 1, 60000, n))
            return bad("expected milliseconds 1..60000");
        opt.backlogMs = static_cast<int>(n);
    } else if (name == "home") {
        std::array<int, kAxes> h{};
        size_t start = 0;
        for (int i = 0; i < kAxes; ++i) {
            const size_t comma = value.find(',', start);
            const bool last = i == kAxes - 1;
            if ((comma == std::string::npos) != last)
                return bad("expected six comma-separated integers");
            const std::string part = value.substr(start, last ? std::string::npos : comma - start);
            if (!toInt(part, INT32_MIN, INT32_MAX, n))
                return bad("expected six comma-separated integers");
            h[i] = static_cast<int>(n);
            start = comma + 1;
        }
        opt.home = h;
    }
    return true;
}

bool parseOptions(const std::vector<std::string>& args, SimOptions& opt, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (a == "-h")
            a = "--help";
        if (a.rfind("--", 0) != 0) {
            error = "unexpected argument '" + a + "'";
            return false;
        }
        std::string name = a.substr(2), value;
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (optionTakesValue(name)) {
            if (i + 1 >= args.size()) {
                error = "--" + name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!applyOption(opt, name, value, false, error))
            return false;
    }
    return true;
}

std::string usageText()
{
    std::string s = "Usage: zps-sim [options]\n"
                    "Simulates the ZPS robot controller: XML-RPC, text command port and dashboard.\n\n"
                    "Options:\n";
    for (const auto& o : kOptions) {
        std::string left = std::string("  --") + o.name + (o.kind == Kind::Value ? std::string(" ") + o.arg : "");
        if (left.size() < 30)
            left.resize(30, ' ');
        else
            left += "  ";
        s += left + o.help + (o.runtime ? " [live]" : "") + "\n";
    }
    s += "\nWith --control-stdin, each input line is a [live] option's name without \"--\" and its\n"
         "value (switches take on/off), or one of: close-dash (drop dashboard connections now), quit.\n"
         "Each line is answered on stdout with \"ok\" or \"error: ...\". Once all ports listen,\n"
         "\"ready\" is printed on stdout.\n";
    return s;
}

} // namespace zps
