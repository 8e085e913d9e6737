#include "LinkPeers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xmlrpc-c/base.h>

namespace linktest {

namespace {

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

bool WaitReadable(int fd, int ms)
{
    pollfd watch{fd, POLLIN, 0};
    return ::poll(&watch, 1, ms) > 0;
}

} // namespace

bool WaitReadable(int fd, std::chrono::milliseconds timeout)
{
    return WaitReadable(fd, static_cast<int>(timeout.count()));
}

std::uint16_t LocalPort(int fd)
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void Event::Set()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_set = true;
    m_cv.notify_all();
}

bool Event::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [this] { return m_set; });
}

bool Event::IsSet()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_set;
}

std::uint16_t PeerConnection::RemotePort() const
{
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return 0;
    return ntohs(peer.sin_port);
}

// ---------------------------------------------------------------- connection

PeerConnection::~PeerConnection()
{
    Close();
}

bool PeerConnection::Stopping() const
{
    return m_stop != nullptr && m_stop->load();
}

std::string PeerConnection::ReceiveExactly(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string data;
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    // Bytes already sent are read even once the peer is stopping, so a test
    // that stops the peer right after its last call still sees them.
    while (m_fd >= 0 && data.size() < count) {
        const int left = RemainingMs(deadline);
        if (left == 0)
            break;
        if (!WaitReadable(m_fd, left < 50 ? left : 50)) {
            if (Stopping())
                break;
            continue;
        }
        const std::size_t want = std::min(sizeof buffer, count - data.size());
        const ssize_t n = ::recv(m_fd, buffer, want, 0);
        if (n <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

std::string PeerConnection::ReceiveUntil(const std::string& terminator,
                                         std::chrono::milliseconds timeout)
{
    std::string data;
    const auto deadline = Clock::now() + timeout;
    char c;
    while (m_fd >= 0) {
        if (data.size() >= terminator.size() &&
            data.compare(data.size() - terminator.size(), terminator.size(), terminator) == 0)
            break;
        const int left = RemainingMs(deadline);
        if (left == 0)
            break;
        if (!WaitReadable(m_fd, left < 50 ? left : 50)) {
            if (Stopping())
                break;
            continue;
        }
        if (::recv(m_fd, &c, 1, 0) != 1)
            break;
        data.push_back(c);
    }
    return data;
}

std::string PeerConnection::ReceiveFor(std::chrono::milliseconds timeout)
{
    std::string data;
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    while (m_fd >= 0) {
        const int left = RemainingMs(deadline);
        if (left == 0)
            break;
        if (!WaitReadable(m_fd, left))
            continue;
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

bool PeerConnection::Send(const std::string& bytes)
{
    std::size_t done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return done == bytes.size();
}

void PeerConnection::Close()
{
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_fd = -1;
    }
}

bool PeerConnection::WaitForClientClose(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    while (m_fd >= 0) {
        const int left = RemainingMs(deadline);
        if (left == 0)
            return false;
        if (!WaitReadable(m_fd, left))
            continue;
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return true;
    }
    return true;
}

// ---------------------------------------------------------------- server

ScriptedPeer::ScriptedPeer(const std::string& address, std::uint16_t port, Script script)
    : m_script(std::move(script))
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return;
    }
    m_listen = fd;
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

ScriptedPeer::~ScriptedPeer()
{
    Stop();
}

void ScriptedPeer::Stop()
{
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        workers.swap(m_workers);
    }
    for (std::thread& worker : workers)
        worker.join();
    if (m_listen >= 0) {
        ::close(m_listen);
        m_listen = -1;
    }
}

void ScriptedPeer::AcceptLoop()
{
    // Connections already made when the peer stops are still taken, so their
    // scripts see what the client sent.
    for (;;) {
        const bool stopping = m_stop.load();
        if (!WaitReadable(m_listen, stopping ? 0 : 20)) {
            if (stopping)
                break;
            continue;
        }
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int index = m_accepted.fetch_add(1);
        std::lock_guard<std::mutex> guard(m_mutex);
        m_workers.emplace_back([this, fd, index] {
            PeerConnection connection(fd);
            connection.SetStopFlag(&m_stop);
            m_script(connection, index);
        });
    }
}

bool ScriptedPeer::WaitForAccepted(int count, std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    while (m_accepted.load() < count) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// ---------------------------------------------------------------- XML-RPC

const std::string RpcResponder::kNeverAnswer = "<never answer>";

RpcResponder::RpcResponder(const std::string& address, std::uint16_t port)
    : m_peer(address, port, [this](PeerConnection& c, int) { Serve(c); })
{
}

RpcResponder::~RpcResponder()
{
    m_peer.Stop();
}

void RpcResponder::Answer(const std::string& method, const std::string& xmlBody)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_answers[method] = xmlBody;
}

std::vector<RecordedCall> RpcResponder::Calls()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_calls;
}

namespace {

std::string HeaderValue(const std::string& headers, const std::string& name)
{
    std::string lower = headers;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string key = "\r\n" + name + ":";
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower.find(key);
    if (at == std::string::npos)
        return {};
    std::size_t start = at + key.size();
    const std::size_t end = headers.find("\r\n", start);
    while (start < end && headers[start] == ' ')
        ++start;
    return headers.substr(start, end - start);
}

// Parses the call with xmlrpc-c's own parser, so the test sees the values
// exactly as a server would.
void ParseCall(RecordedCall& call)
{
    xmlrpc_env env;
    xmlrpc_env_init(&env);
    const char* method = nullptr;
    xmlrpc_value* params = nullptr;
    xmlrpc_parse_call(&env, call.body.data(), call.body.size(), &method, &params);
    if (env.fault_occurred) {
        call.method = "<unparsable>";
        xmlrpc_env_clean(&env);
        return;
    }
    call.method = method;
    const int count = xmlrpc_array_size(&env, params);
    for (int i = 0; i < count && !env.fault_occurred; ++i) {
        xmlrpc_value* item = nullptr;
        xmlrpc_array_read_item(&env, params, static_cast<unsigned>(i), &item);
        if (env.fault_occurred)
            break;
        if (xmlrpc_value_type(item) == XMLRPC_TYPE_INT) {
            int value = 0;
            xmlrpc_read_int(&env, item, &value);
            call.params.push_back("i:" + std::to_string(value));
        } else if (xmlrpc_value_type(item) == XMLRPC_TYPE_STRING) {
            const char* text = nullptr;
            std::size_t length = 0;
            xmlrpc_read_string_lp(&env, item, &length, &text);
            if (!env.fault_occurred) {
                call.params.push_back(std::string("s:") + std::string(text, length));
                std::free(const_cast<char*>(text));
            }
        } else {
            call.params.push_back("?");
        }
        xmlrpc_DECREF(item);
    }
    xmlrpc_DECREF(params);
    std::free(const_cast<char*>(method));
    xmlrpc_env_clean(&env);
}

} // namespace

void RpcResponder::Serve(PeerConnection& connection)
{
    const std::string headers = "\r\n" + connection.ReceiveUntil("\r\n\r\n");
    if (headers.size() < 6)
        return;
    RecordedCall call;
    call.requestLine = headers.substr(2, headers.find("\r\n", 2) - 2);
    const std::size_t length = std::strtoul(HeaderValue(headers, "Content-Length").c_str(), nullptr, 10);
    if (HeaderValue(headers, "Expect").find("100") != std::string::npos)
        connection.Send("HTTP/1.1 100 Continue\r\n\r\n");
    call.body = connection.ReceiveExactly(length, 5000ms);
    ParseCall(call);

    std::string answer;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_calls.push_back(call);
        const auto found = m_answers.find(call.method);
        answer = found != m_answers.end() ? found->second : FaultResponse(-506, "no such method");
    }
    if (answer == kNeverAnswer) {
        // Hold the connection open, silent, until the responder stops.
        while (!connection.Stopping() && !connection.WaitForClientClose(50ms)) {
        }
        return;
    }
    if (answer.compare(0, 5, "HTTP/") == 0) {
        connection.Send(answer); // a whole raw HTTP response
        connection.WaitForClientClose(2000ms);
        return;
    }
    connection.Send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n"
                    "Content-Length: " + std::to_string(answer.size()) + "\r\n\r\n" + answer);
    connection.WaitForClientClose(2000ms);
}

std::string ValuesArrayResponse(const std::string& valuesXml)
{
    return "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param><value><array><data>" +
           valuesXml + "</data></array></value></param></params></methodResponse>\r\n";
}

std::string IntArrayResponse(const std::vector<int>& values)
{
    std::string items;
    for (int value : values)
        items += "<value><i4>" + std::to_string(value) + "</i4></value>";
    return ValuesArrayResponse(items);
}

std::string ScalarResponse(const std::string& valueXml)
{
    return "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>" + valueXml +
           "</param></params></methodResponse>\r\n";
}

std::string FaultResponse(int code, const std::string& text)
{
    return "<?xml version=\"1.0\"?>\r\n<methodResponse><fault><value><struct>"
           "<member><name>faultCode</name><value><int>" + std::to_string(code) + "</int></value></member>"
           "<member><name>faultString</name><value><string>" + text + "</string></value></member>"
           "</struct></value></fault></methodResponse>\r\n";
}

// ---------------------------------------------------------------- scope replies

double RowTime(std::size_t i)
{
    return 1000.0 + static_cast<double>(i);
}

double RowValue(std::size_t i, std::size_t k)
{
    return static_cast<double>(i) * 100.0 + static_cast<double>(k) + 0.25;
}

std::string ScopeReplyBytes(double cpuLoad, std::uint32_t memory, std::uint32_t announced,
                            std::size_t rowsPresent, std::size_t firstRow)
{
    std::string bytes(32 + rowsPresent * 296, '\0');
    std::memcpy(&bytes[0], "RBTLhead-not-read", 16);
    std::memcpy(&bytes[16], &cpuLoad, 8);
    std::memcpy(&bytes[24], &memory, 4);
    std::memcpy(&bytes[28], &announced, 4);
    for (std::size_t i = 0; i < rowsPresent; ++i) {
        double row[37];
        row[0] = RowTime(firstRow + i);
        for (std::size_t k = 0; k < 36; ++k)
            row[k + 1] = RowValue(firstRow + i, k);
        std::memcpy(&bytes[32 + i * 296], row, sizeof row);
    }
    return bytes;
}

} // namespace linktest
