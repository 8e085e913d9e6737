#include "VX_CommandClient.h"

#include "VX_Protocol.h"

using namespace vx;

int VX_CommandClient::Connect(const char* address, std::uint16_t port)
{
    if (address == nullptr || *address == '\0')
        return 0;
    int result = m_second.Connect(address, port);
    if (result == 0)
        result = m_first.Connect(address, port);
    if (result != 0) {
        m_first.Disconnect();
        m_second.Disconnect();
    }
    return result;
}

void VX_CommandClient::Disconnect()
{
    m_first.Disconnect();
    m_second.Disconnect();
}

int VX_CommandClient::Execute(int connection, int argument, std::string name,
                              const std::vector<std::string>& parameters,
                              std::vector<std::string>& fields)
{
    const std::string request = BuildCommandText(name, argument, parameters);
    std::string reply;
    // Only the reply text counts: a failed send or wait leaves it empty or
    // partial, and the status read below says so.
    if (connection == 0)
        m_first.Exchange(request.data(), static_cast<std::uint32_t>(request.size()), reply);
    else if (connection == 1)
        m_second.Exchange(request.data(), static_cast<std::uint32_t>(request.size()), reply);
    SplitFields(reply, ",", fields);
    return ReadCommandStatus(fields);
}

int VX_CommandClient::ReadRobotState(int* f1, int* f2, int* f3, int* f4, int* f5, int* f6,
                                     int* f7, int* f8)
{
    std::vector<std::string> fields;
    const int result = Execute(0, 0, "ReadRobotState", {}, fields);
    int* const flags[kRobotFlagCount] = {f1, f2, f3, f4, f5, f6, f7, f8};
    ReadRobotFlags(fields, flags);
    return result;
}
