#include "VX_DashboardClient.h"

#include "VX_Protocol.h"

using namespace vx;

int VX_DashboardClient::Init(const char* address)
{
    Disconnect();
    return Connect(address, kDashboardPort);
}

int VX_DashboardClient::SendRequest(std::uint32_t command, const std::vector<int>& indexes,
                                    std::string& reply)
{
    RequestPacket packet;
    if (!BuildScopeRequest(command, indexes, packet))
        return -1;
    return Exchange(packet.data(), static_cast<std::uint32_t>(packet.size()), reply);
}

int VX_DashboardClient::SetScopeIndexes(const std::vector<int>& indexes)
{
    // The controller's answer to a subscription carries nothing we use; a
    // send failure is not reported either, only a wait failure or a close.
    std::string reply;
    return SendRequest(kCmdSetScopeIndexes, indexes, reply) == -1 ? -1 : 0;
}

int VX_DashboardClient::ReadScopeData(double* cpuLoad, std::uint32_t* memory,
                                      std::vector<_ST_ReadScopeData>* rows)
{
    std::string reply;
    SendRequest(kCmdReadScopeData, {}, reply);
    if (!reply.empty())
        ReadScopeReply(reply, cpuLoad, memory, rows);
    return 0;
}
