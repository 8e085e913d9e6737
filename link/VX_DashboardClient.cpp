#include "VX_DashboardClient.h"

#include "VX_Protocol.h"

using namespace vx;

int VX_DashboardClient::Init(const char* address)
{
    VX_LockGurad guard(&m_streamLock);
    Disconnect();
    m_unread.clear();
    m_reader.Reset();
    return Connect(address, kDashboardPort);
}

int VX_DashboardClient::SendRequest(std::uint32_t command, const std::vector<int>& indexes,
                                    std::string& reply)
{
    RequestPacket packet;
    if (!BuildScopeRequest(command, indexes, packet))
        return -1;
    return ExchangeAppending(packet.data(), static_cast<std::uint32_t>(packet.size()), reply);
}

int VX_DashboardClient::SetScopeIndexes(const std::vector<int>& indexes)
{
    // The controller's answer to a subscription carries nothing we use, but
    // the bytes read with it may hold the end of an earlier data reply: they
    // stay for the next fetch. A send failure is not reported, only a wait
    // failure or a close.
    VX_LockGurad guard(&m_streamLock);
    return SendRequest(kCmdSetScopeIndexes, indexes, m_unread) == -1 ? -1 : 0;
}

int VX_DashboardClient::ReadScopeData(double* cpuLoad, std::uint32_t* memory,
                                      std::vector<_ST_ReadScopeData>* rows)
{
    VX_LockGurad guard(&m_streamLock);
    SendRequest(kCmdReadScopeData, {}, m_unread);
    if (!m_unread.empty()) {
        m_reader.Read(m_unread, cpuLoad, memory, rows);
        m_unread.clear(); // keeps its capacity for the next fetch
    }
    return 0;
}

void VX_DashboardClient::ReadStreamCounts(std::uint64_t* brokenReplies, std::uint64_t* rowsOverCap)
{
    VX_LockGurad guard(&m_streamLock);
    *brokenReplies = m_reader.BrokenReplies();
    *rowsOverCap = m_reader.RowsOverCap();
}
