// vxscope-capture: records scope channels from a controller without a window
// and writes them in the scope page's file format. The options, and the
// recording loop that paces its reads like the page's collector.
#pragma once

#include "ScopeChannels.h"
#include "scopederived.h"
#include "scopetrigger.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace capture {

// Exit status of the program.
enum ExitCode {
    kExitOk = 0,
    kExitFailure = 1,    // controller unreachable or silent, link lost, file not written
    kExitUsage = 2,      // bad command line or channel choice
    kExitRobotError = 3, // stopped on a robot error (the file is written)
};

struct Options
{
    QString address;
    QString output;             // "-" for standard output
    double durationMs = 10000;  // 0: until interrupted
    double timeoutMs = 5000;    // longest wait for rows from the controller
    double triggerTimeoutMs = 0; // 0: wait for the trigger until interrupted
    bool trigger = false;
    QString triggerChannel;      // a chosen channel's title or its slot number
    ScopeTriggerSetting triggerSetting;
    bool stopOnError = false;
    bool quiet = false;
    bool stats = false;          // statistics per channel at the end
    ScopeChannelList channels;
    QStringList notes;
    QVector<scopederived::Definition> derived; // --derive, checked against the channels
};

// The chosen channels a derived channel may name.
QVector<scopederived::Source> derivedSources(const ScopeChannelList& channels);

enum class ParseResult { Run, Help, ListChannels, Error };

// Reads argv. On Error, `message` says why; on Help it holds the help text.
ParseResult parseArguments(const QStringList& arguments, Options& options, QString& message);

// The catalogue, one channel per line: title, index number, unit.
QString channelListing();

// Records as the options say and writes the file. Messages and progress go
// to `err`. `stopRequested` is polled between reads (interrupt signals).
int runCapture(const Options& options, std::FILE* err, const std::function<bool()>& stopRequested);

} // namespace capture
