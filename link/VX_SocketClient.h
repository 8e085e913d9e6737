// One TCP connection to the controller: the dashboard connection and the two
// command connections are each one of these.
#pragma once

#include "VX_Lock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vx {

// Socket options set on every new connection.
constexpr int kReceiveTimeoutMs = 10;
constexpr int kSendTimeoutMs = 2000;
// Size of the receive buffer; one read takes at most one byte less.
constexpr std::size_t kReceiveBufferSize = 10240;
constexpr std::size_t kMaxReadSize = kReceiveBufferSize - 1;
// Wait attempts of one exchange and the wait of each (0 s 10 us).
constexpr int kReplyWaitAttempts = 5;
constexpr long kReplyWaitNs = 10 * 1000;
// Pause after each reply piece, so a reply sent in bursts is read whole.
constexpr int kPieceGapMs = 5;
// Wait of the close check (IsConnected).
constexpr int kCloseCheckWaitMs = 10;

// Writes a diagnostic trace (at most 127 characters) to syslog at LOG_DEBUG.
// Traces are for the developer and never reach the user.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace vx

class VX_SocketClient
{
public:
    VX_SocketClient();
    ~VX_SocketClient();

    VX_SocketClient(const VX_SocketClient&) = delete;
    VX_SocketClient& operator=(const VX_SocketClient&) = delete;

    // Opens the connection (closing an open one first). Returns 0, or the
    // errno of the step that failed: EINVAL for an address that is not dotted
    // IPv4 text, ETIMEDOUT when the controller does not accept within the
    // send time-out.
    int Connect(const char* address, std::uint16_t port);
    void Disconnect();

    // True while the connection is open and the controller has not closed
    // it. Takes no lock, so the GUI thread can ask while another thread is in
    // Exchange; it only peeks, never consumes reply bytes. Waits at most 10 ms.
    bool IsConnected();

    // Sends the request and gathers the reply of the last burst that arrived
    // within five short waits. Returns 0; -1 when the wait failed or the
    // controller closed the connection; the errno when the request could not
    // be sent whole (the reply is then left as it was).
    int Exchange(const void* request, std::uint32_t length, std::string& reply);

    // The same exchange for a connection read as one byte stream: every
    // byte that arrives is appended to `received`, which is never emptied
    // here, so a burst seen by an earlier wait attempt is not dropped for a
    // later one. Results as Exchange.
    int ExchangeAppending(const void* request, std::uint32_t length, std::string& received);

    // The socket, or -1 (for tests).
    int Socket() const { return m_socket.load(); }

private:
    // Closes `socket` if it is still the current one: a close noticed on an
    // old socket must not close a connection opened since.
    void DisconnectIf(int socket);
    void CloseLocked();
    // Exchange's steps; `keepEarlierBursts` decides whether a later readable
    // wait attempt empties the reply first.
    int ExchangeLocked(const void* request, std::uint32_t length, std::string& reply,
                       bool keepEarlierBursts);

    unsigned char* m_buffer;
    // Read without the lock by IsConnected, hence atomic.
    std::atomic<int> m_socket;
    VX_Lock m_lock;
};
