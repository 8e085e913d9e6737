// Runs the scope page as VXTools hosts it -- real link library, collector
// thread, 64 ms timer, redraw every sixth tick -- against a controller at the
// given address, with 36 channels and the largest period, and prints the
// process's resident memory and CPU use at intervals.
//
//   scope_longrun ADDRESS SECONDS [INTERVAL_S] [--prefill]
//
// --prefill first fills the window with 999,999 synthetic rows stamped
// before the controller's clock starts, so the largest window is full at
// once and the live rows slide it; without it the window grows at 1 kHz.
#include "ResidentMemory.h"
#include "ScopePageSupport.h"

#include "VX_Ports.h"
#include "VX_Prod.h"
#include "datacollector.h"
#include "qwtscope.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <unistd.h>

using namespace scopetest;

namespace {

using vxtest::cpuSeconds;
using vxtest::residentMegabytes;

void quiet(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ADDRESS SECONDS [INTERVAL_S] [--prefill]\n", argv[0]);
        return 2;
    }
    const char* address = argv[1];
    const int seconds = std::atoi(argv[2]);
    const int interval = argc > 3 && argv[3][0] != '-' ? std::max(1, std::atoi(argv[3])) : 10;
    bool prefill = false;
    for (int i = 3; i < argc; ++i)
        prefill = prefill || std::strcmp(argv[i], "--prefill") == 0;

    qInstallMessageHandler(quiet);
    QApplication app(argc, argv);
    if (VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort) != 0 || VX_InitDashboardClient(address) != 0 ||
        !VX_IsConnectDashboard()) {
        std::fprintf(stderr, "no controller at %s\n", address);
        return 1;
    }

    const double baseline = residentMegabytes();
    VXPlugin_Scope page;
    page.messageBox = [](QMessageBox::Icon, const QString&, const QString& text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    if (!chooseThirtySixChannels(page.settingDialog())) {
        std::fprintf(stderr, "the channel dialog lacks a joint or quantity\n");
        return 1;
    }
    page.findChild<QLineEdit*>(QStringLiteral("ScopePlugin_edit_PeriodTime"))->setText(QStringLiteral("999999"));
    page.resize(1400, 760);
    page.show();
    QCoreApplication::processEvents();
    const double shown = residentMegabytes();
    // For the prefill the collector thread is started by hand once the
    // synthetic rows are in, so no live row arrives before them.
    page.setCollectorEnabled(!prefill);
    page.OnStartScope();
    int curves = 0;
    for (int slot = 0; slot < QwtScope::kCurveSlots; ++slot)
        curves += page.plot()->curveInfo(slot).nIndex > 0 ? 1 : 0;
    if (prefill) {
        // The controller's clock now: rows stamped before it minus its
        // 2 s backlog come before every live row.
        double now = 0.0;
        for (int attempt = 0; attempt < 20 && now == 0.0; ++attempt) {
            double cpu = 0;
            uint32_t memory = 0;
            std::vector<_ST_ReadScopeData> rows;
            VX_ReadScopeData(&cpu, &memory, &rows);
            if (!rows.empty())
                now = rows.back().time;
            QThread::msleep(100);
        }
        const double last = now - 2500.0;
        // On a thread of its own that ends before the collector starts: the
        // collector then takes over its malloc arena and reuses the chunks
        // the window drops, as it does with the chunks it appended itself.
        std::thread fill([&page, last] {
            for (int i = 0; i < 999999; ++i) {
                _ST_ReadScopeData r = row(last - 999998 + i);
                for (int k = 0; k < 36; ++k)
                    r.values[k] = std::sin(i * 0.001 + k) * (k + 1);
                page.appendRow(r);
            }
        });
        fill.join();
        page.collector()->start();
    }
    const double before = residentMegabytes();
    std::printf("curves %d  period %d ms  resident: Qt and link %.1f MB, page shown %.1f MB, started %.1f MB\n",
                curves, page.period(), baseline, shown, before);
    std::printf("%8s %10s %10s %10s %12s %8s %8s\n", "time_s", "rows", "raw_MB", "rss_MB", "rss/raw", "cpu_%",
                "running");
    std::fflush(stdout);

    QElapsedTimer clock;
    clock.start();
    double lastCpu = cpuSeconds();
    qint64 lastMs = 0;
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        const qint64 ms = clock.elapsed();
        const double cpu = cpuSeconds();
        const double rows = double(page.sampleTimes().size());
        // Raw sample bytes: 36 values and one time stamp per row.
        const double raw = rows * 37 * 8 / 1e6;
        const double rss = residentMegabytes();
        std::printf("%8.1f %10.0f %10.1f %10.1f %12.2f %8.1f %8d\n", ms / 1000.0, rows, raw, rss,
                    raw > 0 ? rss / raw : 0.0, 100.0 * (cpu - lastCpu) / ((ms - lastMs) / 1000.0),
                    page.isRunning() ? 1 : 0);
        std::fflush(stdout);
        lastCpu = cpu;
        lastMs = ms;
        if (ms >= seconds * 1000LL)
            app.quit();
    });
    report.start(interval * 1000);
    app.exec();
    page.OnStopScope();
    return 0;
}
