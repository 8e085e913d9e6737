// The controller's fixed ports. The link library connects to them, the
// simulator serves them, and the programs and tests name them from here.
#pragma once

#include <cstdint>

namespace vx {
constexpr std::uint16_t kRpcPort = 20000;       // XML-RPC requests ("/RPC2")
constexpr std::uint16_t kCommandPort = 10003;   // text commands
constexpr std::uint16_t kDashboardPort = 20003; // scope subscription and samples
} // namespace vx
