// Command-line options of zps-sim. The same names (without "--") serve as
// control commands on stdin, so a test can change a fault while the
// simulator runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "SimModel.h"
#include "VX_Ports.h"

namespace zps {

// How a port answers.
enum class ReplyMode {
    Normal,
    Silent,     // reads requests, never answers
    Garbage,    // answers bytes of no valid format
    Truncated,  // answers the first part of a valid reply, then stops
    WrongShape, // XML-RPC only: arrays carry one int more than asked for
};

struct PortFaults
{
    bool listen = true;
    ReplyMode mode = ReplyMode::Normal;
    int delayMs = 0;
    int splitBytes = 0; // 0 = one burst; otherwise pieces of this size ...
    int splitGapMs = 0; // ... with this gap between them
};

struct SimOptions
{
    std::string address = "127.0.0.1";
    uint16_t rpcPort = vx::kRpcPort;
    uint16_t cmdPort = vx::kCommandPort;
    uint16_t dashPort = vx::kDashboardPort;
    PortFaults rpc, cmd, dash;
    int dashCloseAfterMs = 0; // 0 = never
    uint32_t dashCutSeed = 0; // 0 = dashboard answers are not cut at random points
    int dashCutMaxGapMs = 0;
    bool robotError = false;
    bool refuseScripts = false;
    bool verbose = false;
    bool controlStdin = false;
    bool help = false;
    std::string scriptLog;
    int backlogMs = 2000;
    std::array<int, kAxes> home = kFactoryHome;
};

// Parses argv[1..]; false with a message on bad input.
bool parseOptions(const std::vector<std::string>& args, SimOptions& opt, std::string& error);

// Applies one option by name (no leading "--") with its value (empty for
// switches). With `running` set, only the options that can change while
// serving are accepted. Switches also take "on"/"off" as a value.
bool applyOption(SimOptions& opt, const std::string& name, const std::string& value, bool running,
                 std::string& error);

// Whether the named option takes a value.
bool optionTakesValue(const std::string& name);

std::string usageText();
const char* modeName(ReplyMode m);

} // namespace zps
