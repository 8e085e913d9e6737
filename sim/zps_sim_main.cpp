// zps-sim: a stand-in for the ZPS robot controller, for development and
// tests without a robot. See --help.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "SimServer.h"

namespace {

// Reads control lines from stdin until end of input or shutdown; the end of
// input ends the simulator too, so a crashed test leaves no simulator behind.
void controlLoop(zps::Simulator& sim)
{
    std::string pending;
    char buf[1024];
    for (;;) {
        pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {sim.stopFd(), POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (p[1].revents)
            return;
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buf, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (line == "quit" || line == "quit\r") {
                std::printf("ok\n");
                std::fflush(stdout);
                ::kill(::getpid(), SIGTERM);
                return;
            }
            std::printf("%s\n", sim.control(line).c_str());
            std::fflush(stdout);
        }
        if (pending.size() > 4096)
            pending.clear();
    }
    ::kill(::getpid(), SIGTERM);
}

} // namespace

int main(int argc, char** argv)
{
    zps::SimOptions opt;
    std::string error;
    if (!zps::parseOptions(std::vector<std::string>(argv + 1, argv + argc), opt, error)) {
        std::fprintf(stderr, "zps-sim: %s (see zps-sim --help)\n", error.c_str());
        return 2;
    }
    if (opt.help) {
        std::fputs(zps::usageText().c_str(), stdout);
        return 0;
    }

    // A client that goes away mid-reply must not end the simulator; the
    // termination signals are taken by the main thread alone.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    zps::Simulator sim(opt);
    if (!sim.start(error)) {
        std::fprintf(stderr, "zps-sim: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "zps-sim: serving %s (XML-RPC %s, commands %s, dashboard %s)\n", opt.address.c_str(),
                 opt.rpc.listen ? std::to_string(opt.rpcPort).c_str() : "off",
                 opt.cmd.listen ? std::to_string(opt.cmdPort).c_str() : "off",
                 opt.dash.listen ? std::to_string(opt.dashPort).c_str() : "off");
    std::printf("ready\n");
    std::fflush(stdout);

    std::thread control;
    if (opt.controlStdin)
        control = std::thread(controlLoop, std::ref(sim));

    int sig = 0;
    while (sigwait(&stopSignals, &sig) != 0) {
    }
    if (opt.verbose)
        std::fprintf(stderr, "zps-sim: signal %d, shutting down\n", sig);
    // A second signal ends the process at once, should the orderly stop hang.
    pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
    sim.stop();
    if (control.joinable())
        control.join();
    return 0;
}
