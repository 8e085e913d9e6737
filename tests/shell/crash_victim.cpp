// Crashes on purpose after installing the program's crash handler:
//   vx_crash_victim <dump path> <message program>
//                   gui|thread|overflow|thread-overflow|collector-overflow|abort
// Prints "crash-tid <tid>" and "crash-thread <name>" before the fatal moment
// so the test can find the crashing thread in the dump.
#include "CrashDump.h"
#include "ThreadSignalStack.h"
#include "datacollector.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

volatile int* volatile g_nowhere = nullptr;

void announce()
{
    char name[17] = {};
    prctl(PR_GET_NAME, name, 0, 0, 0);
    std::printf("crash-tid %ld\ncrash-thread %s\n", long(syscall(SYS_gettid)), name);
    std::fflush(stdout);
}

// The fault must reach the signal handler, also in sanitizer builds that
// would otherwise report the null store themselves.
extern "C" __attribute__((noinline, no_sanitize_undefined)) void vx_victim_fault_here()
{
    announce();
    *g_nowhere = 42;
}

extern "C" __attribute__((noinline)) void vx_victim_worker_fault()
{
    vx_victim_fault_here();
}

extern "C" __attribute__((noinline)) void vx_victim_abort_here()
{
    announce();
    std::abort();
}

__attribute__((noinline)) int vx_victim_recurse(int depth)
{
    volatile char pad[4096];
    pad[0] = char(depth);
    if (depth == 0)
        announce();
    if (depth > (1 << 30))   // never reached: the stack ends long before
        return 0;
    return vx_victim_recurse(depth + 1) + pad[0];
}

// The scope page's own collector thread, driving a read cycle that never
// ends: the overflow happens on the thread exactly as the program starts it.
class OverflowingCycle : public QObject, public ScopeCycleSource
{
public:
    void readScopeOnce() override { std::printf("%d\n", vx_victim_recurse(0)); }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    QCoreApplication app(argc, argv);
    vx::crash::setDumpPath(QString::fromUtf8(argv[1]));
    vx::crash::setMessageProgram(QString::fromUtf8(argv[2]));
    if (!vx::crash::installHandler())
        return 3;
    const QByteArray mode(argv[3]);

    std::atomic<bool> stop{false};
    std::thread bystander;   // a second thread that is not the one crashing
    if (mode == "gui") {
        bystander = std::thread([&] {
            while (!stop)
                usleep(1000);
        });
        QTimer::singleShot(0, [] { vx_victim_fault_here(); });
    } else if (mode == "thread") {
        QTimer::singleShot(0, [&] {
            bystander = std::thread([] { vx_victim_worker_fault(); });
        });
    } else if (mode == "overflow") {
        QTimer::singleShot(0, [] { std::printf("%d\n", vx_victim_recurse(0)); });
    } else if (mode == "thread-overflow") {
        // A thread that set up its own signal stack is reported too.
        QTimer::singleShot(0, [&] {
            bystander = std::thread([] {
                vx::ThreadSignalStack signalStack;
                std::printf("%d\n", vx_victim_recurse(0));
            });
        });
    } else if (mode == "collector-overflow") {
        auto* cycle = new OverflowingCycle;
        auto* collector = new DataCollector(cycle);
        QTimer::singleShot(0, [collector] { collector->start(); });
    } else if (mode == "abort") {
        QTimer::singleShot(0, [] { vx_victim_abort_here(); });
    } else {
        return 2;
    }
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    stop = true;
    if (bystander.joinable())
        bystander.join();
    return rc == 0 ? 4 : rc;   // reaching here means no crash happened
}
