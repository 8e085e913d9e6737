// The simulated controller: the three listening ports, their connections,
// the 1 kHz sample producer and the XML-RPC methods (xmlrpc-c's registry
// behind a small HTTP/1.1 front end), with the faults that the options
// select.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SimOptions.h"

namespace xmlrpc_c {
class registry;
}

namespace zps {

class Simulator
{
public:
    explicit Simulator(const SimOptions& opt);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds and listens on every enabled port of the configured address,
    // then serves from background threads. False with a message when a
    // port cannot be bound.
    bool start(std::string& error);
    // Closes every port and connection and joins all threads. Idempotent.
    void stop();

    // One control line ("dash-mode garbage", "robot-error on", "close-dash").
    // Returns "ok" or "error: ...".
    std::string control(const std::string& line);

    // Read end of a pipe that becomes readable (end of file) once stop()
    // has begun; lets other threads of the program wait alongside.
    int stopFd() const { return stopPipe_[0]; }

    SimOptions options() const;
    std::string lastScript() const;
    int64_t currentSample() const;

private:
    enum Port { kRpc = 0, kCmd = 1, kDash = 2 };
    struct Connection
    {
        int fd = -1;
        Port port = kCmd;
        std::thread thread;
        bool done = false;
        std::chrono::steady_clock::time_point opened;
    };

    void log(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));
    bool sleepFor(int ms) const; // false when stopping
    int waitReadable(int fd, int timeoutMs) const;

    void acceptLoop(Port port);
    void produceLoop();
    void serveCommand(Connection* c);
    void serveDashboard(Connection* c);
    void serveRpc(Connection* c);
    void finish(Connection* c);
    void reapConnections();
    bool sendReply(int fd, const std::string& reply, const PortFaults& f);
    // Sends `reply` cut at random points (--dash-cuts), pausing 0..maxGapMs
    // between the pieces.
    bool sendCut(int fd, const std::string& reply, std::mt19937& rng, int maxGapMs);

    std::string handleCommand(const std::string& request);
    std::string scopeReply(std::array<int32_t, 36> const& subscription, int64_t& cursor);
    void registerMethods();
    void acceptScript(const std::string& text);

    mutable std::mutex mu_; // options, origin, script
    SimOptions opt_;
    std::string lastScript_;
    bool scriptStarted_ = false;

    const std::chrono::steady_clock::time_point epoch_;
    int stopPipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    bool started_ = false;

    std::array<int, 3> listenFd_{{-1, -1, -1}};
    std::vector<std::thread> acceptors_;
    std::thread producer_;

    std::mutex connMu_;
    std::list<std::unique_ptr<Connection>> conns_;

    // All channels of the most recent samples, newest_ being the last one
    // computed; sample k lives in row k % capacity_.
    mutable std::mutex ringMu_;
    std::vector<double> ring_;
    int64_t capacity_ = 0;
    int64_t newest_ = -1;

    std::unique_ptr<xmlrpc_c::registry> registry_;
};

} // namespace zps
