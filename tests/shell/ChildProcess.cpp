#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

ChildResult runChild(const std::vector<std::string>& argv, int timeoutMs)
{
    ChildResult result;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        return result;
    }
    result.started = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool open = true;
    int status = 0;
    for (;;) {
        if (open) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                char buf[4096];
                const ssize_t n = read(out[0], buf, sizeof buf);
                if (n > 0)
                    result.output.append(buf, size_t(n));
                else if (n == 0 || errno != EINTR)
                    open = false;
            }
        } else {
            usleep(20000);
        }
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
    }
    // Whatever is left in the pipe after the exit.
    char buf[4096];
    ssize_t n;
    while (open && (n = read(out[0], buf, sizeof buf)) > 0)
        result.output.append(buf, size_t(n));
    close(out[0]);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.termSignal = WTERMSIG(status);
    return result;
}
