#include "CrashDump.h"

#include "CoreWriter.h"
#include "ThreadSignalStack.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vx {
namespace crash {

namespace {

char g_dumpPath[kDumpPathSize];
char g_messageProgram[4096];
std::atomic<int> g_handling{0};
const int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kSignalStackSize = ThreadSignalStack::kSize;
alignas(16) char g_mainSignalStack[kSignalStackSize];

void copyCut(char* out, size_t size, const QByteArray& text)
{
    const size_t n = std::min(size - 1, size_t(text.size()));
    std::memcpy(out, text.constData(), n);
    out[n] = '\0';
}

size_t append(char* out, size_t at, size_t size, const char* text)
{
    while (*text && at + 1 < size)
        out[at++] = *text++;
    out[at] = '\0';
    return at;
}

// fork() would run the atfork handlers of every library in the process, which
// is not safe from a signal handler; the raw system call runs none.
pid_t rawFork()
{
    return pid_t(syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
}

void waitChild(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

void writeDump(int signo, void* context)
{
    const pid_t pid = getpid();
    const pid_t tid = pid_t(syscall(SYS_gettid));
    const int fd = open(g_dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    int go[2];
    if (pipe2(go, O_CLOEXEC) != 0) {
        close(fd);
        return;
    }
    const pid_t child = rawFork();
    if (child == 0) {
        // Wait until the parent has allowed this process to trace it.
        char byte;
        close(go[1]);
        while (read(go[0], &byte, 1) < 0 && errno == EINTR) {
        }
        _exit(vx::core::writeCore(fd, pid, tid, signo, context) == 0 ? 0 : 1);
    }
    close(go[0]);
    if (child > 0) {
        // Where the Yama module restricts ptrace, only a named tracer may attach.
        prctl(PR_SET_PTRACER, child, 0, 0, 0);
        const char byte = 'g';
        while (write(go[1], &byte, 1) < 0 && errno == EINTR) {
        }
        close(go[1]);
        waitChild(child);
    } else {
        close(go[1]);
    }
    close(fd);
}

void showMessage(const char* message)
{
    if (!g_messageProgram[0])
        return;
    const pid_t child = rawFork();
    if (child == 0) {
        char title[] = "dump files";
        char* argv[] = {g_messageProgram, title, const_cast<char*>(message), nullptr};
        execve(g_messageProgram, argv, environ);
        _exit(127);
    }
    if (child > 0)
        waitChild(child);
}

void onFatalSignal(int signo, siginfo_t*, void* context)
{
    // A second thread crashing while the first is reporting waits here: the
    // first one ends the process.
    if (g_handling.exchange(1) != 0) {
        for (;;)
            pause();
    }
    char message[1024];
    formatMessage(message, sizeof message, g_dumpPath);
    writeDump(signo, context);
    showMessage(message);

    // End the way the signal would have, but without a second (system) core.
    struct rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signo, &dfl, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signo);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), signo);
    _exit(128 + signo);
}

} // namespace

void setDumpPath(const QString& path)
{
    copyCut(g_dumpPath, sizeof g_dumpPath, path.toUtf8());
}

const char* dumpPath()
{
    return g_dumpPath;
}

namespace {

QString prepareIn(const QString& dumpDir, bool withParents, const QString& version, const QDateTime& startTime)
{
    QString path = dumpDir;
    setDumpPath(path);
    if (withParents)
        QDir().mkpath(QString::fromUtf8(g_dumpPath));
    else
        QDir().mkdir(QString::fromUtf8(g_dumpPath));
    // The name carries the time of start-up: a later crash in the same run
    // goes to the same file.
    path += QStringLiteral("/VXTools_") + version + QLatin1Char('_')
            + startTime.toString(QStringLiteral("yyyy_MM_dd_hh_mm_ss")) + QStringLiteral(".dmp");
    setDumpPath(path);
    return path;
}

} // namespace

QString prepareDumpPath(const QString& appDir, const QString& version, const QDateTime& startTime)
{
    return prepareIn(appDir + QStringLiteral("/debugInfo"), false, version, startTime);
}

QString prepareDumpPathIn(const QString& dumpDir, const QString& version, const QDateTime& startTime)
{
    return prepareIn(dumpDir, true, version, startTime);
}

void setMessageProgram(const QString& path)
{
    copyCut(g_messageProgram, sizeof g_messageProgram, QFile::encodeName(path));
}

bool installHandler()
{
    stack_t st{};
    st.ss_sp = g_mainSignalStack;
    st.ss_size = sizeof g_mainSignalStack;
    sigaltstack(&st, nullptr);

    struct sigaction sa{};
    sa.sa_sigaction = onFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    bool ok = true;
    for (int s : kSignals)
        ok = sigaction(s, &sa, nullptr) == 0 && ok;
    return ok;
}

void formatMessage(char* out, size_t size, const char* path)
{
    if (size == 0)
        return;
    out[0] = '\0';
    size_t at = 0;
    at = append(out, at, size, "VXTools broken\xEF\xBC\x81\n");   // U+FF01
    at = append(out, at, size, "dump information ");
    at = append(out, at, size, path);
    append(out, at, size, "\xE3\x80\x82");                        // U+3002
}

} // namespace crash
} // namespace vx
