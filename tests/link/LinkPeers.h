// Scripted loopback peers standing in for the controller in the link tests:
// a TCP server whose every accepted connection runs a script in a thread of
// its own, and a minimal HTTP responder for XML-RPC calls.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace linktest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One accepted connection, seen from the controller's side. Every wait is
// bounded; a failed wait returns what arrived so far.
class PeerConnection
{
public:
    explicit PeerConnection(int fd) : m_fd(fd) {}
    ~PeerConnection();
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    // Reads until `count` bytes arrived or the time-out passed.
    std::string ReceiveExactly(std::size_t count, std::chrono::milliseconds timeout = 3000ms);
    // Reads until the text ends with `terminator` or the time-out passed.
    std::string ReceiveUntil(const std::string& terminator,
                             std::chrono::milliseconds timeout = 3000ms);
    // Reads whatever arrives within `timeout` (for "nothing was sent" checks).
    std::string ReceiveFor(std::chrono::milliseconds timeout);
    bool Send(const std::string& bytes);
    void Close();
    // True once the client closed its end (bounded wait).
    bool WaitForClientClose(std::chrono::milliseconds timeout = 3000ms);
    // Set by the test to end a script that waits on the client.
    bool Stopping() const;
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }
    // The client's port of this connection.
    std::uint16_t RemotePort() const;

private:
    int m_fd;
    const std::atomic<bool>* m_stop = nullptr;
};

// A TCP server on address:port. Each accepted connection runs `script` in a
// thread of its own. The destructor stops accepting, waits for the scripts
// (which must end within their own bounded waits) and closes everything.
class ScriptedPeer
{
public:
    using Script = std::function<void(PeerConnection&, int index)>;

    ScriptedPeer(const std::string& address, std::uint16_t port, Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    bool Listening() const { return m_listen >= 0; }
    int Accepted() const { return m_accepted.load(); }
    // Waits until `count` connections were accepted or the time-out passed.
    bool WaitForAccepted(int count, std::chrono::milliseconds timeout = 3000ms) const;
    void Stop();

private:
    void AcceptLoop();

    int m_listen = -1;
    Script m_script;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<std::thread> m_workers;
};

// A one-shot signal between a peer script and the test, with bounded waits.
class Event
{
public:
    void Set();
    bool Wait(std::chrono::milliseconds timeout = 3000ms);
    bool IsSet();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
};

// Waits until `fd` has bytes waiting (or a close), without reading them.
bool WaitReadable(int fd, std::chrono::milliseconds timeout = 3000ms);

// The local port of a connected socket.
std::uint16_t LocalPort(int fd);

// One XML-RPC call as the responder received it.
struct RecordedCall
{
    std::string method;
    std::string requestLine;
    std::string body;
    std::vector<std::string> params; // each parameter as "i:<n>" or "s:<text>"
};

// A minimal HTTP/1.1 XML-RPC responder on address:port. The answer to each
// method is a canned XML body (or, when it begins with "HTTP/", a whole raw
// HTTP response); a method mapped to kNeverAnswer is accepted and held open
// without a reply until the responder stops. Unknown methods get a fault.
class RpcResponder
{
public:
    static const std::string kNeverAnswer;

    RpcResponder(const std::string& address, std::uint16_t port);
    ~RpcResponder();

    void Answer(const std::string& method, const std::string& xmlBody);
    std::vector<RecordedCall> Calls();
    bool Listening() const { return m_peer.Listening(); }
    int Connections() const { return m_peer.Accepted(); }

private:
    void Serve(PeerConnection& connection);

    std::mutex m_mutex;
    std::map<std::string, std::string> m_answers;
    std::vector<RecordedCall> m_calls;
    ScriptedPeer m_peer;
};

// XML-RPC bodies for the responder.
std::string IntArrayResponse(const std::vector<int>& values);
std::string ValuesArrayResponse(const std::string& valuesXml); // <value>..</value> items
std::string ScalarResponse(const std::string& valueXml);
std::string FaultResponse(int code, const std::string& text);

// Bytes of a scope data reply: 16 header bytes, CPU load, memory figure, row
// count and the given rows (row i has time 1000 + firstRow + i and value k =
// (firstRow + i) * 100 + k).
std::string ScopeReplyBytes(double cpuLoad, std::uint32_t memory, std::uint32_t announced,
                            std::size_t rowsPresent, std::size_t firstRow = 0);
double RowTime(std::size_t i);
double RowValue(std::size_t i, std::size_t k);

} // namespace linktest
