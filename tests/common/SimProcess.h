// SimProcess: runs the controller simulator (zps-sim) as a child process for
// a test, header-only, POSIX and the standard library only.
//
//   #include "SimProcess.h"           // target vx_test_sim adds the path
//
//   vxtest::SimProcess sim("127.0.3.7", {"--robot-error"});
//   ASSERT_TRUE(sim.ok()) << sim.error();
//   ... VXRPC_InitClient(sim.address(), vx::kRpcPort, vx::kCommandPort) ...
//   ASSERT_TRUE(sim.command("dash-mode garbage"));   // change a fault live
//   // the destructor stops the simulator (SIGTERM, then SIGKILL)
//
// The constructor starts $VX_BIN_DIR/zps-sim --address ADDRESS
// --control-stdin plus the given options, and waits (bounded) until the
// simulator reports that every port it serves is listening. ok() tells
// whether that happened; error() says why not. command() sends one control
// line (an option name without "--" and its value, "close-dash", ...) and
// waits for the simulator's "ok". exited() waits for it to end by itself;
// stop() (also run by the destructor) ends it. See `zps-sim --help` for
// every option.
//
// The simulator reads its control lines from a pipe held by this object; if
// the test process dies, the pipe closes and the simulator exits on its own.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vxtest {

class SimProcess
{
public:
    // Path of the simulator: $VX_BIN_DIR/zps-sim (ctest sets VX_BIN_DIR).
    static std::string binary()
    {
        const char* dir = std::getenv("VX_BIN_DIR");
        return std::string(dir && *dir ? dir : ".") + "/zps-sim";
    }

    SimProcess(std::string address, std::vector<std::string> options = {},
               std::chrono::milliseconds startTimeout = std::chrono::seconds(10))
        : address_(std::move(address))
    {
        start(options, startTimeout);
    }

    ~SimProcess() { stop(); }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ok() const { return ready_; }
    const std::string& error() const { return error_; }
    const std::string& address() const { return address_; }
    pid_t pid() const { return pid_; }

    // Sends one control line and waits for the answer; true on "ok".
    bool command(const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        if (pid_ <= 0 || toChild_ < 0)
            return false;
        const std::string text = line + "\n";
        // A simulator that has died must fail the command, not end the test
        // with SIGPIPE.
        sigset_t pipeSignal, old;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
        const ssize_t written = ::write(toChild_, text.data(), text.size());
        if (written < 0 && errno == EPIPE) {
            const timespec none{0, 0};
            sigtimedwait(&pipeSignal, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        if (written != static_cast<ssize_t>(text.size())) {
            error_ = "zps-sim is not running";
            return false;
        }
        std::string answer;
        if (!readLine(answer, timeout)) {
            error_ = "no answer to '" + line + "'";
            return false;
        }
        if (answer != "ok")
            error_ = answer;
        return answer == "ok";
    }

    // Waits up to `timeout` for the simulator to end by itself (after
    // command("quit"), say). True when it did; `status` as waitpid gives it.
    bool exited(std::chrono::milliseconds timeout, int* status = nullptr)
    {
        int st = -1;
        if (pid_ <= 0 || !waitFor(timeout, st))
            return false;
        pid_ = -1;
        if (status)
            *status = st;
        return true;
    }

    // Stops the simulator: SIGTERM, up to `grace` for it to exit, then
    // SIGKILL. Returns the exit status as waitpid gives it, or -1.
    int stop(std::chrono::milliseconds grace = std::chrono::seconds(5))
    {
        int status = -1;
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            if (!waitFor(grace, status)) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
            pid_ = -1;
        }
        closeFd(toChild_);
        closeFd(fromChild_);
        ready_ = false;
        return status;
    }

private:
    void start(const std::vector<std::string>& options, std::chrono::milliseconds timeout)
    {
        std::vector<std::string> args = {binary(), "--address", address_, "--control-stdin"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);

        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0) {
            error_ = std::string("pipe: ") + std::strerror(errno);
            return;
        }
        if (::pipe2(out, O_CLOEXEC) != 0) {
            error_ = std::string("pipe: ") + std::strerror(errno);
            ::close(in[0]);
            ::close(in[1]);
            return;
        }
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        // The simulator waits for its stop signals; they must reach it even
        // if the test blocks or ignores them.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none, stops;
        sigemptyset(&none);
        sigemptyset(&stops);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGHUP);
        sigaddset(&stops, SIGPIPE);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &stops);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        const int rc = ::posix_spawn(&pid_, args[0].c_str(), &fa, &attr, argv.data(), environ);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
        if (rc != 0) {
            pid_ = -1;
            error_ = "cannot start " + args[0] + ": " + std::strerror(rc);
            return;
        }
        std::string line;
        if (!readLine(line, timeout) || line != "ready") {
            int status = 0;
            error_ = "zps-sim did not get ready on " + address_;
            if (waitFor(std::chrono::milliseconds(0), status))
                pid_ = -1, error_ += " (it exited with status " + std::to_string(WEXITSTATUS(status)) + ")";
            return;
        }
        ready_ = true;
    }

    // One line from the child's stdout, bounded in time.
    bool readLine(std::string& line, std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const size_t nl = pending_.find('\n');
            if (nl != std::string::npos) {
                line = pending_.substr(0, nl);
                pending_.erase(0, nl + 1);
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0 || fromChild_ < 0)
                return false;
            pollfd p{fromChild_, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(left));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            char buf[256];
            const ssize_t n = ::read(fromChild_, buf, sizeof buf);
            if (n <= 0)
                return false;
            pending_.append(buf, static_cast<size_t>(n));
        }
    }

    bool waitFor(std::chrono::milliseconds timeout, int& status)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_ || (r < 0 && errno != EINTR))
                return true;
            if (std::chrono::steady_clock::now() >= end)
                return false;
            ::usleep(2000);
        }
    }

    static void closeFd(int& fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    std::string address_;
    std::string error_;
    std::string pending_;
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    bool ready_ = false;
};

} // namespace vxtest
