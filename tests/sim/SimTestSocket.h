// A plain TCP client for talking to the simulator byte by byte in tests.
// Every read is bounded in time.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

class Client
{
public:
    Client() = default;
    Client(const std::string& address, uint16_t port) { connectTo(address, port); }
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // 0, or the errno of the failed connect.
    int connectTo(const std::string& address, uint16_t port)
    {
        close();
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            const int e = errno;
            close();
            return e;
        }
        return 0;
    }

    bool connected() const { return fd_ >= 0; }

    bool send(const std::string& bytes)
    {
        return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until `want` bytes arrived, the peer closed, or the time-out.
    std::string receive(size_t want, std::chrono::milliseconds timeout)
    {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < want && fd_ >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            char buf[65536];
            const ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, want - out.size()), 0);
            if (n <= 0) {
                closedByPeer_ = n == 0;
                break;
            }
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }

    // Everything that arrives until the line is quiet for `quiet`.
    std::string receiveUntilQuiet(std::chrono::milliseconds first, std::chrono::milliseconds quiet)
    {
        std::string out = receive(1, first);
        if (out.empty())
            return out;
        for (;;) {
            const std::string more = receive(1 << 20, quiet);
            if (more.empty())
                return out;
            out += more;
        }
    }

    // True when the peer closes within the time-out (data before is dropped).
    bool waitClosed(std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!closedByPeer_ && std::chrono::steady_clock::now() < end)
            receive(1 << 20, std::chrono::milliseconds(20));
        return closedByPeer_;
    }

    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        closedByPeer_ = false;
    }

private:
    int fd_ = -1;
    bool closedByPeer_ = false;
};

} // namespace simtest
