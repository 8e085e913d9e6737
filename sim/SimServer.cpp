#include "SimServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <xmlrpc-c/base.h>
#include <xmlrpc-c/base.hpp>
#include <xmlrpc-c/girerr.hpp>
#include <xmlrpc-c/registry.hpp>

#include "SimModel.h"
#include "SimProtocol.h"

namespace zps {
namespace {

constexpr size_t kMaxConnections = 64;
constexpr int kSendTimeoutMs = 5000;
constexpr int kProduceEveryMs = 5;
constexpr size_t kMaxHttpRequest = 16 << 20;

const std::array<int, 7> kVersion = {5, 1, 2, 4, 7, 3, 0x0052A3F1};
// Gear reduction per axis as (motor turns, joint turns).
const std::array<int, 12> kRatios = {100, 1, 100, 1, 100, 1, 100, 1, 100, 1, 100, 1};

const char* portName(int p) { return p == 0 ? "rpc" : p == 1 ? "cmd" : "dash"; }

// The raw XML of the call being processed on this thread.
thread_local const std::string* tlsCallXml = nullptr;

std::string withoutCR(std::string s)
{
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

class FnMethod : public xmlrpc_c::method
{
public:
    using Fn = std::function<void(const xmlrpc_c::paramList&, xmlrpc_c::value*)>;
    explicit FnMethod(Fn fn) : fn_(std::move(fn)) {}
    void execute(const xmlrpc_c::paramList& params, xmlrpc_c::value* result) override { fn_(params, result); }

private:
    Fn fn_;
};

xmlrpc_c::value intArray(const int* v, size_t n, bool oneMore)
{
    std::vector<xmlrpc_c::value> items;
    for (size_t i = 0; i < n; ++i)
        items.push_back(xmlrpc_c::value_int(v[i]));
    if (oneMore)
        items.push_back(xmlrpc_c::value_int(0));
    return xmlrpc_c::value_array(items);
}

void setSocketOptions(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{kSendTimeoutMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool sendAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t sent = ::send(fd, p, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        p += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

} // namespace

Simulator::Simulator(const SimOptions& opt) : opt_(opt), epoch_(std::chrono::steady_clock::now())
{
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        stopPipe_[0] = stopPipe_[1] = -1;
    // The scripts the engineer sends can be large; xmlrpc-c's default limit
    // on a call's XML would refuse them.
    xmlrpc_limit_set(XMLRPC_XML_SIZE_LIMIT_ID, kMaxHttpRequest);
}

Simulator::~Simulator()
{
    stop();
    for (int& fd : stopPipe_)
        if (fd >= 0)
            ::close(fd);
}

void Simulator::log(const char* fmt, ...) const
{
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!opt_.verbose)
            return;
    }
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
    std::fprintf(stderr, "zps-sim %9.3f %s\n", t, line);
}

bool Simulator::sleepFor(int ms) const
{
    if (ms <= 0)
        return !stopping_;
    pollfd p{stopPipe_[0], POLLIN, 0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return !stopping_;
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r > 0 || stopping_)
            return false;
    }
}

int Simulator::waitReadable(int fd, int timeoutMs) const
{
    pollfd p[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    for (;;) {
        const int r = ::poll(p, 2, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || p[1].revents || stopping_)
            return -1;
        if (r == 0)
            return 0;
        return 1;
    }
}

int64_t Simulator::currentSample() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - epoch_).count();
}

SimOptions Simulator::options() const
{
    std::lock_guard<std::mutex> g(mu_);
    return opt_;
}

std::string Simulator::lastScript() const
{
    std::lock_guard<std::mutex> g(mu_);
    return lastScript_;
}

bool Simulator::start(std::string& error)
{
    if (started_) {
        error = "already started";
        return false;
    }
    if (stopPipe_[0] < 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    // The HTTP server writes its answers with plain write(); a client gone
    // mid-answer must not end the process that embeds the simulator.
    std::signal(SIGPIPE, SIG_IGN);
    const SimOptions o = options();
    capacity_ = o.backlogMs + 64;
    ring_.assign(static_cast<size_t>(capacity_) * kChannelSlots, 0.0);

    in_addr addr{};
    if (inet_pton(AF_INET, o.address.c_str(), &addr) != 1) {
        error = "bad address " + o.address;
        return false;
    }
    const bool listen[3] = {o.rpc.listen, o.cmd.listen, o.dash.listen};
    const uint16_t ports[3] = {o.rpcPort, o.cmdPort, o.dashPort};
    for (int p = 0; p < 3; ++p) {
        if (!listen[p])
            continue;
        // Non-blocking, so a client that gives up between poll and accept
        // cannot stall the acceptor.
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            error = std::string("socket: ") + std::strerror(errno);
            stop();
            return false;
        }
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(ports[p]);
        sa.sin_addr = addr;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 16) != 0) {
            error = o.address + ":" + std::to_string(ports[p]) + ": " + std::strerror(errno);
            ::close(fd);
            stop();
            return false;
        }
        listenFd_[p] = fd;
    }

    registry_ = std::make_unique<xmlrpc_c::registry>();
    registerMethods();

    started_ = true;
    producer_ = std::thread(&Simulator::produceLoop, this);
    for (int p = 0; p < 3; ++p)
        if (listenFd_[p] >= 0)
            acceptors_.emplace_back(&Simulator::acceptLoop, this, static_cast<Port>(p));
    log("serving %s: rpc %s:%u, cmd %s:%u, dash %s:%u", o.address.c_str(), o.rpc.listen ? "on" : "off",
        o.rpcPort, o.cmd.listen ? "on" : "off", o.cmdPort, o.dash.listen ? "on" : "off", o.dashPort);
    return true;
}

void Simulator::stop()
{
    if (stopping_.exchange(true))
        return;
    if (stopPipe_[1] >= 0) {
        ::close(stopPipe_[1]);
        stopPipe_[1] = -1;
    }
    for (auto& t : acceptors_)
        t.join();
    acceptors_.clear();
    for (int& fd : listenFd_)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    {
        std::lock_guard<std::mutex> g(connMu_);
        for (auto& c : conns_)
            if (c->fd >= 0)
                ::shutdown(c->fd, SHUT_RDWR);
    }
    // No acceptor is left to add connections, so the list is stable.
    for (auto& c : conns_)
        if (c->thread.joinable())
            c->thread.join();
    conns_.clear();
    if (producer_.joinable())
        producer_.join();
    registry_.reset();
}

void Simulator::reapConnections()
{
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> g(connMu_);
        for (auto it = conns_.begin(); it != conns_.end();) {
            if ((*it)->done) {
                finished.push_back(std::move(*it));
                it = conns_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished)
        c->thread.join();
}

void Simulator::acceptLoop(Port port)
{
    const int lfd = listenFd_[port];
    for (;;) {
        const int w = waitReadable(lfd, 1000);
        if (w < 0)
            return;
        reapConnections();
        if (w == 0)
            continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(lfd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        char who[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &peer.sin_addr, who, sizeof who);
        std::lock_guard<std::mutex> g(connMu_);
        if (conns_.size() >= kMaxConnections) {
            log("%s: refusing %s:%u, %zu connections open", portName(port), who, ntohs(peer.sin_port),
                conns_.size());
            ::close(fd);
            continue;
        }
        log("%s: connection from %s:%u", portName(port), who, ntohs(peer.sin_port));
        setSocketOptions(fd);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->port = port;
        c->opened = std::chrono::steady_clock::now();
        Connection* raw = c.get();
        conns_.push_back(std::move(c));
        switch (port) {
        case kRpc: raw->thread = std::thread(&Simulator::serveRpc, this, raw); break;
        case kCmd: raw->thread = std::thread(&Simulator::serveCommand, this, raw); break;
        case kDash: raw->thread = std::thread(&Simulator::serveDashboard, this, raw); break;
        }
    }
}

void Simulator::finish(Connection* c)
{
    std::lock_guard<std::mutex> g(connMu_);
    if (c->fd >= 0)
        ::close(c->fd);
    c->fd = -1;
    c->done = true;
}

bool Simulator::sendReply(int fd, const std::string& reply, const PortFaults& f)
{
    if (!sleepFor(f.delayMs))
        return false;
    if (f.splitBytes <= 0 || reply.size() <= static_cast<size_t>(f.splitBytes))
        return sendAll(fd, reply.data(), reply.size());
    for (size_t at = 0; at < reply.size(); at += static_cast<size_t>(f.splitBytes)) {
        if (at > 0 && !sleepFor(f.splitGapMs))
            return false;
        const size_t n = std::min(reply.size() - at, static_cast<size_t>(f.splitBytes));
        if (!sendAll(fd, reply.data() + at, n))
            return false;
    }
    return true;
}

bool Simulator::sendCut(int fd, const std::string& reply, std::mt19937& rng, int maxGapMs)
{
    // Up to four cuts: inside the 32-byte header, one byte after another
    // cut (a 1-byte piece), or anywhere.
    std::vector<size_t> cuts;
    const int count = static_cast<int>(rng() % 5);
    for (int i = 0; i < count && reply.size() > 1; ++i) {
        const size_t anywhere = 1 + rng() % (reply.size() - 1);
        switch (rng() % 3) {
        case 0: cuts.push_back(1 + rng() % std::min<size_t>(31, reply.size() - 1)); break;
        case 1: cuts.push_back(anywhere); cuts.push_back(anywhere + 1); break;
        default: cuts.push_back(anywhere); break;
        }
    }
    cuts.push_back(reply.size());
    std::sort(cuts.begin(), cuts.end());
    size_t at = 0;
    for (size_t cut : cuts) {
        if (cut <= at || cut > reply.size())
            continue;
        if (at > 0 && !sleepFor(static_cast<int>(rng() % (static_cast<unsigned>(maxGapMs) + 1))))
            return false;
        if (!sendAll(fd, reply.data() + at, cut - at))
            return false;
        at = cut;
    }
    return true;
}

// ---------------------------------------------------------------- samples

void Simulator::produceLoop()
{
    std::vector<double> rows;
    do {
        const int64_t target = currentSample();
        int64_t from;
        {
            std::lock_guard<std::mutex> g(ringMu_);
            from = std::max(newest_ + 1, target - capacity_ + 1);
        }
        if (from > target)
            continue;
        SampleContext ctx;
        {
            std::lock_guard<std::mutex> g(mu_);
            ctx.robotError = opt_.robotError;
        }
        rows.resize(static_cast<size_t>(target - from + 1) * kChannelSlots);
        for (int64_t k = from; k <= target; ++k)
            computeSample(k, ctx, &rows[static_cast<size_t>(k - from) * kChannelSlots]);
        std::lock_guard<std::mutex> g(ringMu_);
        for (int64_t k = from; k <= target; ++k)
            std::copy_n(&rows[static_cast<size_t>(k - from) * kChannelSlots], kChannelSlots,
                        &ring_[static_cast<size_t>(k % capacity_) * kChannelSlots]);
        newest_ = target;
    } while (sleepFor(kProduceEveryMs));
}

std::string Simulator::scopeReply(const std::array<int32_t, 36>& subscription, int64_t& cursor)
{
    const double t = currentSample() / 1000.0;
    std::vector<double> rows;
    uint32_t n = 0;
    {
        std::lock_guard<std::mutex> g(ringMu_);
        const int64_t backlog = capacity_ - 64;
        int64_t first = std::max(cursor + 1, newest_ - backlog + 1);
        first = std::max<int64_t>(first, 0);
        if (newest_ >= first) {
            n = static_cast<uint32_t>(newest_ - first + 1);
            rows.resize(static_cast<size_t>(n) * (1 + kScopeSlots));
            double* out = rows.data();
            for (int64_t k = first; k <= newest_; ++k) {
                const double* all = &ring_[static_cast<size_t>(k % capacity_) * kChannelSlots];
                *out++ = static_cast<double>(k);
                for (int32_t idx : subscription)
                    *out++ = idx >= kFirstChannel && idx <= kLastChannel ? all[idx] : 0.0;
            }
            cursor = newest_;
        }
    }
    return buildScopeReply(cpuLoad(t), memoryKiB(t), rows.data(), n);
}

// -------------------------------------------------------------- dashboard

void Simulator::serveDashboard(Connection* c)
{
    DashFramer framer;
    std::mt19937 cutRng;
    uint32_t cutSeed = 0;
    std::array<int32_t, 36> subscription{};
    int64_t cursor = currentSample();
    char buf[4096];
    for (;;) {
        const SimOptions o = options();
        int timeout = 1000;
        if (o.dashCloseAfterMs > 0) {
            const auto open = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - c->opened)
                                  .count();
            if (open >= o.dashCloseAfterMs) {
                log("dash: closing after %d ms as asked", o.dashCloseAfterMs);
                break;
            }
            timeout = static_cast<int>(std::min<int64_t>(timeout, o.dashCloseAfterMs - open));
        }
        const int w = waitReadable(c->fd, timeout);
        if (w < 0)
            break;
        if (w == 0)
            continue;
        const ssize_t n = ::recv(c->fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        framer.feed(buf, static_cast<size_t>(n));
        bool ok = true;
        while (auto req = framer.next()) {
            const PortFaults f = options().dash;
            std::string reply;
            if (req->command == kSetScopeIndexes) {
                subscription = req->indexes;
                cursor = currentSample();
                std::string list;
                for (int32_t i : subscription)
                    if (i != 0)
                        list += std::to_string(i) + " ";
                log("dash: subscribe [%s]", list.c_str());
                reply = buildSubscribeAck();
            } else if (req->command == kReadScopeData) {
                reply = scopeReply(subscription, cursor);
                log("dash: read scope data, %zu rows", (reply.size() - kScopeHeaderSize) / kScopeRowSize);
            } else {
                log("dash: unknown command %u ignored", req->command);
                continue;
            }
            if (f.mode == ReplyMode::Silent)
                continue;
            if (f.mode == ReplyMode::Garbage) {
                // A header that announces far more rows than follow.
                std::string junk = "JUNK";
                putU32(junk, 0xDEADBEEF);
                putU32(junk, 7);
                putU32(junk, 99);
                putF64(junk, -1.0);
                putU32(junk, 0xFFFFFFFF);
                putU32(junk, 0xFFFFFFFF);
                for (int i = 0; i < 40; ++i)
                    junk.push_back(static_cast<char>((i * 73 + 11) & 0xFF));
                reply = junk;
            } else if (f.mode == ReplyMode::Truncated) {
                reply.resize(reply.size() > kScopeHeaderSize ? kScopeHeaderSize + (reply.size() - kScopeHeaderSize) / 2 - 1
                                                             : reply.size() / 2);
            }
            const SimOptions now = options();
            if (now.dashCutSeed != cutSeed) {
                cutSeed = now.dashCutSeed;
                cutRng.seed(cutSeed);
            }
            const bool sent = cutSeed != 0 ? sleepFor(f.delayMs) && sendCut(c->fd, reply, cutRng, now.dashCutMaxGapMs)
                                           : sendReply(c->fd, reply, f);
            if (!sent) {
                ok = false;
                break;
            }
        }
        if (!ok)
            break;
    }
    if (framer.skippedBytes())
        log("dash: %zu bytes skipped that started no request", framer.skippedBytes());
    log("dash: connection closed");
    finish(c);
}

// ---------------------------------------------------------- text commands

std::string Simulator::handleCommand(const std::string& request)
{
    const TextCommand cmd = parseTextCommand(request);
    log("cmd: %s", request.c_str());
    if (cmd.name.empty())
        return failReply("", kErrMalformed);
    if (cmd.name == "ReadRobotState") {
        std::lock_guard<std::mutex> g(mu_);
        // power on, servo on, error, moving, e-stop, script running, two
        // spares and a reserved value.
        const std::array<int, 9> v = {1, opt_.robotError ? 0 : 1, opt_.robotError ? 1 : 0, 1, 0,
                                      scriptStarted_ ? 1 : 0, 0, 0, 0};
        return robotStateReply(v);
    }
    return failReply(cmd.name, kErrUnknownCommand);
}

void Simulator::serveCommand(Connection* c)
{
    CommandFramer framer;
    char buf[4096];
    for (;;) {
        const int w = waitReadable(c->fd, 1000);
        if (w < 0)
            break;
        if (w == 0)
            continue;
        const ssize_t n = ::recv(c->fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        const size_t overlongBefore = framer.overlong();
        framer.feed(buf, static_cast<size_t>(n));
        if (framer.overlong() != overlongBefore)
            log("cmd: request over %zu bytes dropped", CommandFramer::kMaxRequest);
        bool ok = true;
        while (auto req = framer.next()) {
            std::string reply = handleCommand(*req);
            const PortFaults f = options().cmd;
            if (f.mode == ReplyMode::Silent)
                continue;
            if (f.mode == ReplyMode::Garbage)
                reply = "\x01\x7f#garbage@no-fields\xff";
            else if (f.mode == ReplyMode::Truncated)
                reply.resize(reply.size() / 2);
            if (!sendReply(c->fd, reply, f)) {
                ok = false;
                break;
            }
        }
        if (!ok)
            break;
    }
    log("cmd: connection closed");
    finish(c);
}

// ---------------------------------------------------------------- XML-RPC

void Simulator::acceptScript(const std::string& text)
{
    std::string logFile;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (opt_.refuseScripts)
            throw xmlrpc_c::fault("script refused: the controller is not ready", xmlrpc_c::fault::CODE_UNSPECIFIED);
        lastScript_ = text;
        scriptStarted_ = true;
        logFile = opt_.scriptLog;
    }
    if (logFile.empty())
        return;
    // Written aside and renamed, so a reader never sees half a script.
    const std::string tmp = logFile + ".part";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f)
        ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), logFile.c_str()) != 0) {
        std::fprintf(stderr, "zps-sim: cannot write script log %s: %s\n", logFile.c_str(), std::strerror(errno));
        std::remove(tmp.c_str());
    }
}

void Simulator::registerMethods()
{
    auto add = [this](const char* name, FnMethod::Fn fn) {
        registry_->addMethod(name, xmlrpc_c::methodPtr(new FnMethod([this, name, fn](const xmlrpc_c::paramList& p,
                                                                                    xmlrpc_c::value* r) {
            const SimOptions o = options();
            log("rpc: %s with %u parameters", name, p.size());
            if (!sleepFor(o.rpc.delayMs))
                throw xmlrpc_c::fault("shutting down", xmlrpc_c::fault::CODE_INTERNAL);
            fn(p, r);
        })));
    };
    auto wrong = [this] { return options().rpc.mode == ReplyMode::WrongShape; };

    add("ReadVersion", [wrong](const xmlrpc_c::paramList& p, xmlrpc_c::value* r) {
        p.verifyEnd(0);
        *r = intArray(kVersion.data(), kVersion.size(), wrong());
    });
    add("ReadMachineOrigin", [this, wrong](const xmlrpc_c::paramList& p, xmlrpc_c::value* r) {
        p.verifyEnd(0);
        const auto home = options().home;
        *r = intArray(home.data(), home.size(), wrong());
    });
    add("ReadRatioInfo", [wrong](const xmlrpc_c::paramList& p, xmlrpc_c::value* r) {
        p.verifyEnd(0);
        *r = intArray(kRatios.data(), kRatios.size(), wrong());
    });
    add("ReadCurEncode", [this, wrong](const xmlrpc_c::paramList& p, xmlrpc_c::value* r) {
        p.verifyEnd(0);
        const auto enc = encoderCounts(actualJoints(currentSample() / 1000.0).q);
        *r = intArray(enc.data(), enc.size(), wrong());
    });
    add("SetHomeEncode", [this](const xmlrpc_c::paramList& p, xmlrpc_c::value* r) {
        if (p.getInt(0) != 0)
            throw xmlrpc_c::fault("SetHomeEncode: the first parameter must be 0", xmlrpc_c::fault::CODE_TYPE);
        std::array<int, kAxes> home{};
        for (int i = 0; i < kAxes; ++i)
            home[i] = p.getInt(1 + i);
        p.verifyEnd(7);
        {
            std::lock_guard<std::mutex> g(mu_);
            opt_.home = home;
        }
        log("rpc: machine origin now %d %d %d %d %d %d", home[0], home[1], home[2], home[3], home[4], home[5]);
        *r = xmlrpc_c::value_int(0);
    });
    add("StartScript", [this](const xmlrpc_c::paramList& p, xmlrpc_c::value* r) {
        if (p.getInt(0) != 0 || p.getInt(1) != 0)
            throw xmlrpc_c::fault("StartScript: the first two parameters must be 0", xmlrpc_c::fault::CODE_TYPE);
        std::string text = p.getString(2);
        // xmlrpc-c's value has lost the carriage returns; take the text from
        // the call itself when it says the same otherwise.
        if (tlsCallXml)
            if (auto raw = xmlRpcStringParam(*tlsCallXml, 2); raw && withoutCR(*raw) == withoutCR(text))
                text = *raw;
        p.verifyEnd(3);
        log("rpc: script of %zu bytes", text.size());
        acceptScript(text);
        *r = xmlrpc_c::value_int(0);
    });
}

namespace {

std::string httpResponse(int status, const char* reason, const std::string& body,
                         const char* type = "text/plain")
{
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

// One HTTP request per connection, answered and closed. The XML-RPC layer
// is xmlrpc-c's; the HTTP layer is ours, so the call's raw XML is at hand
// (xmlrpc-c turns CR LF inside strings into LF, and a script is stored as
// sent) and the socket is the one bound to the simulator's own address.
void Simulator::serveRpc(Connection* c)
{
    std::string req;
    char buf[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // Reads until `want` bytes are buffered; false on close, stop or time-out.
    auto fill = [&](size_t want) {
        while (req.size() < want) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || waitReadable(c->fd, static_cast<int>(std::min<int64_t>(left, 200))) < 0)
                return false;
            const ssize_t n = ::recv(c->fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return false;
            if (n > 0)
                req.append(buf, static_cast<size_t>(n));
        }
        return true;
    };

    size_t headEnd = std::string::npos;
    while ((headEnd = req.find("\r\n\r\n")) == std::string::npos && req.size() < 65536)
        if (!fill(req.size() + 1))
            break;
    const PortFaults f = options().rpc;
    std::string reply;
    if (headEnd == std::string::npos) {
        if (req.size() >= 65536)
            reply = httpResponse(431, "Request Header Fields Too Large", "");
        else {
            finish(c);
            return;
        }
    }
    const HttpHead head = headEnd == std::string::npos ? HttpHead{} : parseHttpHead(req.substr(0, headEnd));
    if (reply.empty()) {
        if (!head.valid)
            reply = httpResponse(400, "Bad Request", "");
        else if (head.chunked || head.contentLength < 0)
            reply = httpResponse(411, "Length Required", "");
        else if (head.contentLength > static_cast<long long>(kMaxHttpRequest))
            reply = httpResponse(413, "Payload Too Large", "");
    }
    std::string body;
    if (reply.empty()) {
        const size_t total = headEnd + 4 + static_cast<size_t>(head.contentLength);
        if (head.expectContinue && req.size() < total && f.mode != ReplyMode::Silent) {
            const std::string goOn = "HTTP/1.1 100 Continue\r\n\r\n";
            sendAll(c->fd, goOn.data(), goOn.size());
        }
        if (!fill(total)) {
            log("rpc: request incomplete (%zu of %zu bytes)", req.size(), total);
            finish(c);
            return;
        }
        body = req.substr(headEnd + 4, static_cast<size_t>(head.contentLength));
    }
    const size_t m = body.find("<methodName>");
    const std::string method =
        m == std::string::npos ? "?" : body.substr(m + 12, std::min<size_t>(64, body.find('<', m + 12) - m - 12));

    if (!reply.empty()) {
        log("rpc: bad HTTP request: %s", reply.substr(0, reply.find('\r')).c_str());
    } else if (f.mode == ReplyMode::Silent) {
        log("rpc: %s, not answering", method.c_str());
        while (waitReadable(c->fd, 1000) >= 0) {
            // Hold the connection open until the client gives up.
            if (::recv(c->fd, buf, sizeof buf, MSG_DONTWAIT) == 0)
                break;
        }
        finish(c);
        return;
    } else if (f.mode == ReplyMode::Garbage || f.mode == ReplyMode::Truncated) {
        log("rpc: %s, answering %s", method.c_str(), modeName(f.mode));
        if (!sleepFor(f.delayMs)) {
            finish(c);
            return;
        }
        if (f.mode == ReplyMode::Garbage) {
            reply = httpResponse(200, "OK", "<<< this is no XML-RPC >>>", "text/xml");
        } else {
            const std::string part = "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param><value><array><data>"
                                     "<value><i4>1</i4></value><value><i4>2</i4></value>";
            reply = httpResponse(200, "OK", part + part, "text/xml");
            reply.resize(reply.size() - part.size());
        }
    } else if (head.method != "POST") {
        reply = httpResponse(405, "Method Not Allowed", "");
    } else if (head.path != "/RPC2") {
        reply = httpResponse(404, "Not Found", "");
    } else {
        std::string response;
        try {
            tlsCallXml = &body;
            registry_->processCall(body, &response);
            tlsCallXml = nullptr;
            reply = httpResponse(200, "OK", response, "text/xml");
        } catch (const std::exception& e) {
            tlsCallXml = nullptr;
            log("rpc: call failed: %s", e.what());
            reply = httpResponse(500, "Internal Server Error", e.what());
        }
    }
    sendAll(c->fd, reply.data(), reply.size());
    finish(c);
}

// ---------------------------------------------------------------- control

std::string Simulator::control(const std::string& lineIn)
{
    std::string line = lineIn;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    const size_t sp = line.find(' ');
    const std::string name = line.substr(0, sp);
    std::string value = sp == std::string::npos ? "" : line.substr(sp + 1);
    while (!value.empty() && value.front() == ' ')
        value.erase(0, 1);
    if (name.empty())
        return "error: empty command";
    if (name == "close-dash") {
        std::lock_guard<std::mutex> g(connMu_);
        int n = 0;
        for (auto& c : conns_)
            if (c->port == kDash && c->fd >= 0) {
                ::shutdown(c->fd, SHUT_RDWR);
                ++n;
            }
        log("control: closed %d dashboard connections", n);
        return "ok";
    }
    std::string error;
    std::lock_guard<std::mutex> g(mu_);
    SimOptions next = opt_;
    if (!applyOption(next, name, value, true, error))
        return "error: " + error;
    opt_ = next;
    return "ok";
}

} // namespace zps
