// The two connections to the controller's text command port (10003).
#pragma once

#include "VX_SocketClient.h"

#include <cstdint>
#include <string>
#include <vector>

class VX_CommandClient
{
public:
    // Opens the second connection first and the first only if that worked.
    // A missing (null or empty) address does nothing and returns 0. On a
    // failure both connections end closed and the failing step's errno is
    // returned.
    int Connect(const char* address, std::uint16_t port);
    void Disconnect();

    // Sends name,argument[,param...],; on connection 0 (first) or 1 (second),
    // splits the reply into `fields` and returns 0 for "OK", 20007 when no
    // usable reply came, otherwise the controller's error number.
    int Execute(int connection, int argument, std::string name,
                const std::vector<std::string>& parameters, std::vector<std::string>& fields);

    // "ReadRobotState": the eight flags are written only when the reply holds
    // at least nine values after the status, whatever the status.
    int ReadRobotState(int* f1, int* f2, int* f3, int* f4, int* f5, int* f6, int* f7, int* f8);

    VX_SocketClient& First() { return m_first; }
    VX_SocketClient& Second() { return m_second; }

private:
    VX_SocketClient m_first;  // carries the commands
    VX_SocketClient m_second;
};
