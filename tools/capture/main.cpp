// vxscope-capture: headless scope recording for test benches and scripts.
// A plain QCoreApplication: it needs no display.
#include "capturerun.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> g_stop{false};

extern "C" void onStopSignal(int)
{
    g_stop.store(true);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vxscope-capture"));

    capture::Options options;
    QString message;
    switch (capture::parseArguments(QCoreApplication::arguments(), options, message)) {
    case capture::ParseResult::Help:
        std::fputs(qPrintable(message), stdout);
        return capture::kExitOk;
    case capture::ParseResult::ListChannels:
        std::fputs(qPrintable(capture::channelListing()), stdout);
        return capture::kExitOk;
    case capture::ParseResult::Error:
        if (!message.contains(QLatin1String("(see ")))
            message += QStringLiteral(" (see --help)");
        std::fprintf(stderr, "vxscope-capture: error: %s\n", qPrintable(message));
        return capture::kExitUsage;
    case capture::ParseResult::Run:
        break;
    }

    // The first interrupt ends the recording and keeps the file; a second
    // one ends the program at once.
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of standard output that goes away must fail the write, not
    // end the process before the recording is reported.
    std::signal(SIGPIPE, SIG_IGN);

    return capture::runCapture(options, stderr, [] { return g_stop.load(); });
}
