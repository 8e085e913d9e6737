// The dashboard connection (port 20003): scope subscription and samples.
#pragma once

#include "VX_Prod.h"
#include "VX_SocketClient.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vx {
constexpr std::uint16_t kDashboardPort = 20003;
}

class VX_DashboardClient : public VX_SocketClient
{
public:
    // Drops the old connection and connects to address:20003.
    int Init(const char* address);

    // -1 when more than 36 indexes are given (nothing is sent); otherwise the
    // result of the exchange.
    int SendRequest(std::uint32_t command, const std::vector<int>& indexes, std::string& reply);

    int SetScopeIndexes(const std::vector<int>& indexes);
    int ReadScopeData(double* cpuLoad, std::uint32_t* memory, std::vector<_ST_ReadScopeData>* rows);
};
