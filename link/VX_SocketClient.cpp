#include "VX_SocketClient.h"

#include "VX_Address.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

namespace vx {

void Trace(const char* format, ...)
{
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    syslog(LOG_USER | LOG_DEBUG, "VX_Prod: %s", text);
}

namespace {

void SleepMs(int ms)
{
    timespec wait{0, ms * 1000L * 1000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

timeval Milliseconds(int ms)
{
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

} // namespace
} // namespace vx

using namespace vx;

VX_SocketClient::VX_SocketClient()
    : m_buffer(new unsigned char[kReceiveBufferSize]()), m_socket(-1)
{
}

VX_SocketClient::~VX_SocketClient()
{
    Disconnect();
    delete[] m_buffer;
}

void VX_SocketClient::CloseLocked()
{
    const int socket = m_socket.exchange(-1);
    if (socket >= 0) {
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
    }
}

int VX_SocketClient::Connect(const char* address, std::uint16_t port)
{
    VX_LockGurad guard(&m_lock);
    CloseLocked();

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    // Text that names no IPv4 address is refused (inet_addr itself would
    // turn it into the broadcast address).
    const std::optional<in_addr> parsed = ParseAddress(address);
    if (!parsed)
        return EINVAL;
    peer.sin_addr = *parsed;

    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        const int error = errno;
        Trace("socket failed with error: %d\n", error);
        return error;
    }

    const timeval receiveTimeout = Milliseconds(kReceiveTimeoutMs);
    const timeval sendTimeout = Milliseconds(kSendTimeoutMs);
    if (setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout) != 0)
        Trace("setsockopt(SO_RCVTIMEO) failed with error: %d\n", errno);
    if (setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout) != 0)
        Trace("setsockopt(SO_SNDTIMEO) failed with error: %d\n", errno);

    if (::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        int error = errno;
        // Linux bounds a blocking connect by the send time-out and then
        // reports it as still in progress; to the caller it is a time-out.
        if (error == EINPROGRESS || error == EAGAIN)
            error = ETIMEDOUT;
        ::close(socket);
        return error;
    }

    m_socket.store(socket);

    // Replies are gathered with non-blocking reads, so a read ends as soon as
    // no more bytes are waiting.
    const int flags = fcntl(socket, F_GETFL);
    if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) {
        const int error = errno;
        Trace("fcntl(O_NONBLOCK) failed with error: %d\n", error);
        return error;
    }
    return 0;
}

void VX_SocketClient::Disconnect()
{
    VX_LockGurad guard(&m_lock);
    CloseLocked();
}

void VX_SocketClient::DisconnectIf(int socket)
{
    VX_LockGurad guard(&m_lock);
    if (m_socket.load() == socket)
        CloseLocked();
}

bool VX_SocketClient::IsConnected()
{
    const int socket = m_socket.load();
    if (socket < 0)
        return false;

    // POLLRDHUP reports the controller's close even while unread reply bytes
    // are still waiting; nothing is read here, so a concurrent exchange keeps
    // every byte.
    pollfd watch{socket, POLLRDHUP, 0};
    const int ready = ::poll(&watch, 1, kCloseCheckWaitMs);
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;
    if (watch.revents & POLLNVAL)
        return false;
    if (!(watch.revents & (POLLRDHUP | POLLHUP | POLLERR)))
        return true;

    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0)
        Trace("connection closed with error: %d\n", error);
    DisconnectIf(socket);
    return false;
}

int VX_SocketClient::Exchange(const void* request, std::uint32_t length, std::string& reply)
{
    VX_LockGurad guard(&m_lock);
    return ExchangeLocked(request, length, reply, false);
}

int VX_SocketClient::ExchangeAppending(const void* request, std::uint32_t length,
                                       std::string& received)
{
    VX_LockGurad guard(&m_lock);
    return ExchangeLocked(request, length, received, true);
}

int VX_SocketClient::ExchangeLocked(const void* request, std::uint32_t length, std::string& reply,
                                    bool keepEarlierBursts)
{
    const int socket = m_socket.load();

    // MSG_NOSIGNAL: a controller that has gone away must not end the process.
    const ssize_t sent = ::send(socket, request, length, MSG_NOSIGNAL);
    if (sent < 0)
        return errno;
    if (static_cast<std::uint32_t>(sent) < length)
        return EAGAIN; // a partial send sets no errno; it is still a failure

    for (int attempt = 0; attempt < kReplyWaitAttempts; ++attempt) {
        // ppoll rather than select: the 10 us wait is kept and a descriptor
        // number above FD_SETSIZE is no fault.
        pollfd watch{socket, POLLIN, 0};
        const timespec wait{0, kReplyWaitNs};
        const int ready = ::ppoll(&watch, 1, &wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (ready == 0)
            continue;

        // A text command's reply is the last burst; a stream keeps them all.
        if (!keepEarlierBursts)
            reply.clear();
        for (;;) {
            const ssize_t n = ::recv(socket, m_buffer, kMaxReadSize, 0);
            if (n == 0)
                return -1;
            if (n < 0)
                break;
            reply.append(reinterpret_cast<const char*>(m_buffer), static_cast<std::size_t>(n));
            std::memset(m_buffer, 0, static_cast<std::size_t>(n));
            SleepMs(kPieceGapMs);
        }
    }
    return 0;
}
