#include "capturerun.h"

#include "scopeanalysis.h"

#include "VX_Ports.h"
#include "VX_Prod.h"
#include "capturechannels.h"
#include "scopefile.h"
#include "scopegaps.h"
#include "scopesamplestore.h"
#include "scopesavename.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <arpa/inet.h>
#include <unistd.h>

namespace capture {

namespace {

constexpr int kPassMs = 51;          // one read of the controller's buffered rows per pass
constexpr int kSettleMs = 60;        // lets the subscription's answer arrive before the first read
constexpr int kRobotCheckMs = 384;   // the page checks the robot state on every sixth 64 ms tick
constexpr int kLinkCheckMs = 200;    // the main window's link check period
constexpr double kMaxSeconds = 1e6;

// Milliseconds from a text of seconds; none unless it is a number from 0
// to kMaxSeconds.
std::optional<double> readSeconds(const QString& text)
{
    bool ok = false;
    const double s = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(s) || s < 0 || s > kMaxSeconds)
        return std::nullopt;
    return s * 1000.0;
}

QString helpText(const QCommandLineParser& parser)
{
    QString text = parser.helpText();
    text += QStringLiteral(
        "\nChannels are chosen by their titles on the plot (-c \"J1 Actual ACS\", -c CurFSM) or as the\n"
        "channel dialog chooses them: every joint of --joints with every link-data channel of --link,\n"
        "every axis of --axes with every end-effector channel of --end-effector, and the system values\n"
        "of --components. A heading (\"Motor Current\", \"ForceSensor\") stands for the channels under\n"
        "it, \"all\" for a whole list. Lists are comma-separated; at most 36 channels.\n"
        "\n"
        "Joints: J1..J6. Axes: X, Y, Z, RX, RY, RZ.\n"
        "Link data: %1\n"
        "End effector: %2\n"
        "Components: %3\n"
        "\n"
        "The duration counts controller time from the first recorded row; with an open-grab trigger\n"
        "recording starts with the batch of rows that fired it, with an end-grab trigger it ends\n"
        "before that batch. The file is the scope page's format (Import from File reads it).\n"
        "\n"
        "--derive \"NAME[UNIT]=EXPRESSION\" adds a derived channel, computed row by row from the\n"
        "chosen channels named by their titles in brackets, e.g.\n"
        "  --derive \"J1 Following Error[deg]=[J1 Target ACS] - [J1 Actual ACS]\"\n"
        "Functions: deriv(x) (change per second), movavg(x, n) (mean of the last n rows), abs, sqrt,\n"
        "sin, cos, exp, log, min, max. At most 12; repeat the option for more than one.\n"
        "\n"
        "Exit status: 0 done; 1 controller unreachable or silent, link lost, trigger never fired or\n"
        "file not written; 2 bad command line or channel choice; 3 stopped on a robot error.\n");
    auto names = [](const std::vector<int>& keys, QString (*nameOf)(int), bool (*keep)(int)) {
        QStringList out;
        for (int key : keys)
            if (keep(key))
                out << nameOf(key).trimmed();
        return out.join(QStringLiteral(", "));
    };
    return text.arg(names(linkKeys(), &linkName, [](int) { return true; }),
                    names(endEffectorKeys(), &endEffectorName, [](int) { return true; }),
                    names(componentKeys(), &componentName,
                          [](int k) { return k <= AXIS_ElectricPower || k >= AXIS_TCPCmdVel; }));
}

} // namespace

QVector<scopederived::Source> derivedSources(const ScopeChannelList& channels)
{
    QVector<scopederived::Source> sources;
    for (const ScopeChannel& c : channels.channels) {
        if (receivesSamples(c.info))
            sources.append(scopederived::Source{c.title.trimmed(), c.info.nCurve});
    }
    return sources;
}

QString channelListing()
{
    QString text;
    for (const ScopeChannel& c : allChannels().channels)
        text += QStringLiteral("%1\t%2\t%3\n").arg(c.title).arg(c.info.nIndex).arg(c.info.strUnit);
    return text;
}

namespace {

// The command line's options, by name.
struct CommandLine
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption list{QStringLiteral("list-channels"),
                            QStringLiteral("List every channel title with its index and unit.")};
    QCommandLineOption address{{QStringLiteral("a"), QStringLiteral("address")},
                               QStringLiteral("The controller's IPv4 address."), QStringLiteral("ip")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("File to write (\"-\" for standard output); default "
                                             "VX_Scope_<date>_<time>.csv in the current folder."),
                              QStringLiteral("file")};
    QCommandLineOption duration{{QStringLiteral("d"), QStringLiteral("duration")},
                                QStringLiteral("Seconds of controller time to record; 0 records until "
                                               "interrupted (default 10)."),
                                QStringLiteral("seconds"), QStringLiteral("10")};
    QCommandLineOption channel{{QStringLiteral("c"), QStringLiteral("channel")},
                               QStringLiteral("Channel title(s) as listed by --list-channels."),
                               QStringLiteral("titles")};
    QCommandLineOption joints{QStringLiteral("joints"), QStringLiteral("Joints J1..J6 for --link."),
                              QStringLiteral("list")};
    QCommandLineOption link{QStringLiteral("link"), QStringLiteral("Link-data channels or headings."),
                            QStringLiteral("list")};
    QCommandLineOption axes{QStringLiteral("axes"), QStringLiteral("Axes X..RZ for --end-effector."),
                            QStringLiteral("list")};
    QCommandLineOption endEffector{QStringLiteral("end-effector"), QStringLiteral("End-effector channels or headings."),
                                   QStringLiteral("list")};
    QCommandLineOption components{QStringLiteral("components"), QStringLiteral("System values and TCP velocities."),
                                  QStringLiteral("list")};
    QCommandLineOption trigger{QStringLiteral("trigger"),
                               QStringLiteral("Arm the trigger on this chosen channel (title or slot)."),
                               QStringLiteral("channel")};
    QCommandLineOption condition{QStringLiteral("condition"),
                                 QStringLiteral("Trigger condition: \">\" (default) or \"<\"."),
                                 QStringLiteral("cond"), QStringLiteral(">")};
    QCommandLineOption threshold{QStringLiteral("threshold"), QStringLiteral("Trigger threshold (default 0)."),
                                 QStringLiteral("value"), QStringLiteral("0")};
    QCommandLineOption grab{QStringLiteral("grab"),
                            QStringLiteral("\"open\": recording starts when the trigger fires (default); "
                                           "\"end\": recording ends when it fires."),
                            QStringLiteral("mode"), QStringLiteral("open")};
    QCommandLineOption absolute{QStringLiteral("absolute"),
                                QStringLiteral("Compare the trigger channel's absolute value.")};
    QCommandLineOption triggerTimeout{QStringLiteral("trigger-timeout"),
                                      QStringLiteral("Give up when an open-grab trigger has not fired "
                                                     "within this many seconds (default 0: wait)."),
                                      QStringLiteral("seconds"), QStringLiteral("0")};
    QCommandLineOption stopOnError{QStringLiteral("stop-on-error"),
                                   QStringLiteral("Stop on the second robot error sighting, as the "
                                                  "page's \"Stop when Error\".")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("Seconds to wait for rows before giving up (default 5)."),
                               QStringLiteral("seconds"), QStringLiteral("5")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("No progress, only errors.")};
    QCommandLineOption derive{QStringLiteral("derive"),
                              QStringLiteral("A derived channel NAME[UNIT]=EXPRESSION (repeatable)."),
                              QStringLiteral("definition")};
    QCommandLineOption stats{QStringLiteral("stats"),
                             QStringLiteral("At the end, print per channel (tab-separated): samples, min, max, "
                                            "peak-to-peak, mean, RMS, standard deviation.")};

    QCommandLineParser parser;

    CommandLine()
    {
        parser.setApplicationDescription(QStringLiteral(
            "Records scope channels from a ZPS controller without a window and writes them as a\n"
            "scope data file that the scope page imports."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, list, address, output, duration, channel, joints, link, axes, endEffector,
                           components, trigger, condition, threshold, grab, absolute, triggerTimeout, stopOnError,
                           timeout, quiet, stats, derive});
    }
};

// Each reader takes its share of the options; false (with `message`) on a
// value that cannot be used.

bool readAddress(const CommandLine& line, Options& options, QString& message)
{
    options.address = line.parser.value(line.address).trimmed();
    if (options.address.isEmpty()) {
        message = QStringLiteral("no controller address: give --address");
        return false;
    }
    in_addr host{};
    if (::inet_pton(AF_INET, options.address.toLatin1().constData(), &host) != 1) {
        message = QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(options.address);
        return false;
    }
    return true;
}

bool readTimes(const CommandLine& line, Options& options, QString& message)
{
    const std::optional<double> duration = readSeconds(line.parser.value(line.duration));
    if (!duration) {
        message = QStringLiteral("--duration takes seconds from 0 to %1").arg(kMaxSeconds);
        return false;
    }
    options.durationMs = *duration;
    const std::optional<double> timeout = readSeconds(line.parser.value(line.timeout));
    if (timeout)
        options.timeoutMs = *timeout;
    if (!timeout || options.timeoutMs <= 0) {
        message = QStringLiteral("--timeout takes seconds above 0");
        return false;
    }
    const std::optional<double> triggerTimeout = readSeconds(line.parser.value(line.triggerTimeout));
    if (!triggerTimeout) {
        message = QStringLiteral("--trigger-timeout takes seconds from 0 to %1").arg(kMaxSeconds);
        return false;
    }
    options.triggerTimeoutMs = *triggerTimeout;
    return true;
}

bool readChannels(const CommandLine& line, Options& options, QString& message)
{
    const QCommandLineParser& p = line.parser;
    GroupSelection groups;
    groups.joints = splitList(p.values(line.joints));
    groups.links = splitList(p.values(line.link));
    groups.axes = splitList(p.values(line.axes));
    groups.endEffectors = splitList(p.values(line.endEffector));
    groups.components = splitList(p.values(line.components));
    const ChannelChoice choice = chooseChannels(groups, splitList(p.values(line.channel)));
    if (!choice.error.isEmpty()) {
        message = choice.error;
        return false;
    }
    options.channels = choice.list;
    options.notes = choice.notes;
    return true;
}

// --derive: each definition compiles against the chosen channels, the
// refusal naming the position in the expression and the reason.
bool readDerived(const CommandLine& line, Options& options, QString& message)
{
    const QStringList texts = line.parser.values(line.derive);
    if (texts.size() > scopederived::kMaxChannels) {
        message = QStringLiteral("at most %1 --derive options").arg(scopederived::kMaxChannels);
        return false;
    }
    QStringList known;
    for (const ScopeChannel& c : allChannels().channels)
        known << c.title.trimmed();
    const QVector<scopederived::Source> sources = derivedSources(options.channels);
    for (const QString& text : texts) {
        scopederived::Definition d;
        QString why;
        scopederived::Problem problem;
        if (!scopederived::parseOption(text, d, why)) {
            message = QStringLiteral("--derive \"%1\": %2").arg(text, why);
            return false;
        }
        if (!scopederived::ScopeDerivedSet::check(d, sources, known, &problem)) {
            message = problem.position < 0 ? QStringLiteral("--derive \"%1\": %2").arg(text, problem.reason)
                                           : QStringLiteral("--derive \"%1\": expression position %2: %3")
                                                 .arg(text)
                                                 .arg(problem.position + 1)
                                                 .arg(problem.reason);
            return false;
        }
        options.derived.append(d);
    }
    int failed = -1;
    scopederived::Problem problem;
    if (!scopederived::ScopeDerivedSet::compile(options.derived, sources, known, &failed, &problem)) {
        message = QStringLiteral("--derive \"%1\": %2").arg(texts.value(failed), problem.reason);
        return false;
    }
    return true;
}

// The trigger box lists the channels in slot order: its position is the
// slot and the value column of every row. -1 when the channel is not one of
// the chosen ones.
int triggerSlot(const ScopeChannelList& channels, const QString& named)
{
    bool isNumber = false;
    const int slot = named.toInt(&isNumber);
    if (isNumber && slot >= 0 && slot < channels.count())
        return slot;
    for (const ScopeChannel& c : channels.channels)
        if (c.title.simplified().compare(named.simplified(), Qt::CaseInsensitive) == 0)
            return c.info.nCurve;
    return -1;
}

std::optional<GrabMode> grabModeNamed(const QString& text)
{
    const QString mode = text.trimmed().toLower();
    if (mode == QLatin1String("open") || mode == TriggerGrabModes().at(0).toLower())
        return GrabMode::Open;
    if (mode == QLatin1String("end") || mode == TriggerGrabModes().at(1).toLower())
        return GrabMode::End;
    return std::nullopt;
}

bool readTrigger(const CommandLine& line, Options& options, QString& message)
{
    const QCommandLineParser& p = line.parser;
    const bool triggerOptions = p.isSet(line.condition) || p.isSet(line.threshold) || p.isSet(line.grab)
                                || p.isSet(line.absolute) || p.isSet(line.triggerTimeout);
    options.trigger = p.isSet(line.trigger);
    if (!options.trigger) {
        if (triggerOptions)
            message = QStringLiteral("trigger settings without --trigger");
        return !triggerOptions;
    }
    ScopeTriggerSetting& s = options.triggerSetting;
    options.triggerChannel = p.value(line.trigger).trimmed();
    s.channel = triggerSlot(options.channels, options.triggerChannel);
    if (s.channel < 0) {
        message = QStringLiteral("trigger channel \"%1\" is not one of the chosen channels").arg(options.triggerChannel);
        return false;
    }
    options.triggerChannel = options.channels.channels[std::size_t(s.channel)].title;
    s.channelData = s.channel;
    const int position = TriggerConditions().indexOf(p.value(line.condition).trimmed());
    if (position < 0) {
        message = QStringLiteral("--condition takes \">\" or \"<\"");
        return false;
    }
    s.condition = TriggerCondition(position);
    bool ok = false;
    s.threshold = QLocale::c().toDouble(p.value(line.threshold).trimmed(), &ok);
    if (!ok || !std::isfinite(s.threshold)) {
        message = QStringLiteral("--threshold takes a number written with \".\"");
        return false;
    }
    const std::optional<GrabMode> mode = grabModeNamed(p.value(line.grab));
    if (!mode) {
        message = QStringLiteral("--grab takes \"open\" or \"end\"");
        return false;
    }
    s.grabMode = *mode;
    s.absoluteValue = p.isSet(line.absolute);
    return true;
}

void readOutput(const CommandLine& line, Options& options)
{
    options.output = line.parser.value(line.output);
    if (options.output.isEmpty())
        options.output = scopesavename::proposedName(QStringLiteral("csv"));
    if (options.output != QLatin1String("-") && QFileInfo(options.output).suffix() != QLatin1String("csv"))
        options.notes << QStringLiteral("the scope page imports only files whose name ends in \".csv\"");
}

} // namespace

ParseResult parseArguments(const QStringList& arguments, Options& options, QString& message)
{
    CommandLine line;
    QCommandLineParser& parser = line.parser;
    if (!parser.parse(arguments)) {
        message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(line.help)) {
        message = helpText(parser);
        return ParseResult::Help;
    }
    if (parser.isSet(line.list))
        return ParseResult::ListChannels;
    if (!parser.positionalArguments().isEmpty()) {
        message = QStringLiteral("unexpected argument \"%1\" (channel titles go with -c)")
                      .arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }
    if (!readAddress(line, options, message) || !readTimes(line, options, message))
        return ParseResult::Error;
    options.stopOnError = parser.isSet(line.stopOnError);
    options.quiet = parser.isSet(line.quiet);
    options.stats = parser.isSet(line.stats);
    if (!readChannels(line, options, message) || !readDerived(line, options, message)
        || !readTrigger(line, options, message))
        return ParseResult::Error;
    readOutput(line, options);
    return ParseResult::Run;
}

// ---- recording --------------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class Reporter
{
public:
    Reporter(std::FILE* err, bool quiet)
        : m_err(err)
        , m_quiet(quiet)
        , m_tty(err && ::isatty(::fileno(err)))
    {
    }

    void say(const QString& text) { line(text, false); }
    void error(const QString& text) { line(QStringLiteral("error: ") + text, true); }
    // Lines asked for on the command line: shown also when quiet, as they
    // are, so a table can be cut out.
    void table(const QStringList& lines)
    {
        if (!m_err)
            return;
        if (m_open)
            std::fputc('\n', m_err);
        m_open = false;
        for (const QString& text : lines)
            std::fprintf(m_err, "%s\n", qPrintable(text));
        std::fflush(m_err);
    }
    void warn(const QString& text) { line(QStringLiteral("warning: ") + text, true); }

    // A progress line: rewritten in place on a terminal, a plain line now
    // and then in a log.
    void progress(const QString& text)
    {
        if (m_quiet || !m_err)
            return;
        const double interval = m_tty ? 250.0 : 1000.0;
        if (m_shown && msSince(m_last) < interval)
            return;
        m_shown = true;
        m_last = Clock::now();
        if (m_tty) {
            std::fprintf(m_err, "\r\033[K%s", qPrintable(text));
            m_open = true;
        } else {
            std::fprintf(m_err, "vxscope-capture: %s\n", qPrintable(text));
        }
        std::fflush(m_err);
    }

private:
    void line(const QString& text, bool always)
    {
        if (!m_err || (m_quiet && !always))
            return;
        if (m_open)
            std::fputc('\n', m_err);
        m_open = false;
        std::fprintf(m_err, "vxscope-capture: %s\n", qPrintable(text));
        std::fflush(m_err);
    }

    std::FILE* m_err;
    bool m_quiet;
    bool m_tty;
    bool m_open = false;
    bool m_shown = false;
    Clock::time_point m_last;
};

// The output: the file is written beside its final name and put in place
// when the recording is over, so an earlier file is never half replaced.
class Output
{
public:
    explicit Output(const QString& name)
        : m_name(name)
    {
    }

    bool open()
    {
        if (m_name == QLatin1String("-")) {
            auto file = std::make_unique<QFile>();
            if (!file->open(stdout, QIODevice::WriteOnly)) {
                m_error = file->errorString();
                return false;
            }
            m_device = std::move(file);
            return true;
        }
        auto file = std::make_unique<QSaveFile>(m_name);
        if (!file->open(QIODevice::WriteOnly)) {
            m_error = file->errorString();
            return false;
        }
        m_device = std::move(file);
        return true;
    }

    bool write(const QString& line)
    {
        const QByteArray bytes = line.toUtf8();
        if (m_device->write(bytes) != bytes.size()) {
            m_error = m_device->errorString();
            return false;
        }
        return true;
    }

    bool finish()
    {
        if (auto* save = dynamic_cast<QSaveFile*>(m_device.get())) {
            if (!save->commit()) {
                m_error = save->errorString();
                return false;
            }
            return true;
        }
        auto* file = static_cast<QFile*>(m_device.get());
        if (!file->flush()) {
            m_error = file->errorString();
            return false;
        }
        return true;
    }

    void discard()
    {
        if (auto* save = dynamic_cast<QSaveFile*>(m_device.get()))
            save->cancelWriting();
        m_device.reset();
    }

    QString displayName() const
    {
        return m_name == QLatin1String("-") ? QStringLiteral("standard output") : QDir::toNativeSeparators(m_name);
    }
    const QString& error() const { return m_error; }

private:
    QString m_name;
    QString m_error;
    std::unique_ptr<QFileDevice> m_device;
};

QString seconds(double ms)
{
    return QString::number(ms / 1000.0, 'f', 3);
}

// How a recording ended.
enum class End { Duration, Interrupted, TriggerEnd, RowCap, RobotError, NoRows, LinkLost, TriggerTimeout,
                 WriteFailed };

// Connects to the dashboard (and, for --stop-on-error, the command port),
// subscribes the channels and drops what an earlier subscription left
// buffered. An exit status when that fails.
std::optional<int> connectController(const Options& options, Reporter& report)
{
    const std::string address = options.address.toStdString();
    report.say(QStringLiteral("connecting to %1").arg(options.address));
    const int rc = VX_InitDashboardClient(address);
    if (rc != 0) {
        report.error(QStringLiteral("cannot reach the controller at %1 (dashboard port %2): %3")
                         .arg(options.address)
                         .arg(vx::kDashboardPort)
                         .arg(QString::fromLocal8Bit(std::strerror(rc))));
        return kExitFailure;
    }
    if (options.stopOnError)
        VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort); // only the command port is used

    std::vector<int> indexes = options.channels.indexes;
    if (VX_SetScopeIndexs(indexes) != 0) {
        report.error(QStringLiteral("the controller at %1 closed the link when asked for the channels")
                         .arg(options.address));
        return kExitFailure;
    }
    // The answer to the subscription may come later than the link library
    // waits for it; the next read would then take it for the head of a data
    // reply. One read after a pause takes it away together with any rows of
    // the old subscription.
    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    double cpu = 0.0;
    uint32_t memory = 0;
    std::vector<_ST_ReadScopeData> stale;
    VX_ReadScopeData(&cpu, &memory, &stale);
    return std::nullopt;
}

// One recording into an open output whose header is written: a step per
// fetch of the rows the controller buffered, until a step answers how the
// recording ended; then finish() reports and puts the file in place.
class Recording
{
public:
    Recording(const Options& options, Reporter& report, Output& out)
        : m_options(options)
        , m_trig(options.triggerSetting)
        , m_report(report)
        , m_out(out)
    {
        // One curve per channel; each row is written through the page's own
        // row writer with this row as sample 0 of every curve that receives.
        for (const ScopeChannel& c : options.channels.channels) {
            m_curves.append(scopefile::curveOf(c.title, c.info));
            m_receives.push_back(receivesSamples(c.info));
            m_statistics.emplace_back();
        }
        // Derived channels follow, computed from each row before it is written.
        m_derived = scopederived::ScopeDerivedSet::compile(options.derived, derivedSources(options.channels),
                                                           QStringList(), nullptr, nullptr);
        m_firstDerived = m_curves.size();
        if (m_derived) {
            for (const scopederived::Definition& d : m_derived->definitions()) {
                scopefile::Curve curve;
                curve.title = d.name;
                curve.unit = d.unit;
                curve.derived = true;
                curve.expression = d.expression;
                m_curves.append(curve);
                m_receives.push_back(false);
                m_statistics.emplace_back();
            }
        }
        m_trigger.start(options.trigger, m_trig.grabMode);
    }

    const QVector<scopefile::Curve>& curves() const { return m_curves; }
    const ScopeTriggerState& trigger() const { return m_trigger; }

    // One pass: fetch, let the trigger look, record what is grabbed, watch
    // the robot and the link.
    std::optional<End> step()
    {
        fetch();
        if (auto end = checkRows())
            return end;
        if (auto end = checkTrigger())
            return end;
        if (auto end = record())
            return end;
        if (auto end = watchRobot())
            return end;
        return watchLink();
    }

    void showProgress()
    {
        if (m_trigger.armed() && m_trig.grabMode == GrabMode::Open)
            m_report.progress(QStringLiteral("waiting for the trigger, %1 s").arg(seconds(msSince(m_started))));
        else if (m_options.durationMs > 0)
            m_report.progress(QStringLiteral("recorded %1 of %2 s, %3 rows")
                                  .arg(seconds(m_lastWritten), seconds(m_options.durationMs))
                                  .arg(m_written));
        else
            m_report.progress(QStringLiteral("recorded %1 s, %2 rows").arg(seconds(m_lastWritten)).arg(m_written));
    }

    // The exit status.
    int finish(End end)
    {
        if (end == End::WriteFailed) {
            m_report.error(QStringLiteral("cannot write %1: %2").arg(m_out.displayName(), m_out.error()));
            m_out.discard();
            return kExitFailure;
        }
        const int status = reportEnd(end);
        // A run that failed before recording anything leaves no file behind.
        if (status == kExitFailure && m_written == 0) {
            m_out.discard();
            return status;
        }
        if (!m_out.finish()) {
            m_report.error(QStringLiteral("cannot write %1: %2").arg(m_out.displayName(), m_out.error()));
            return kExitFailure;
        }
        reportLosses();
        if (m_options.stats) {
            QStringList lines{QStringLiteral("vxscope-capture: statistics per channel"), scopeanalysis::statisticsHeading()};
            for (int k = 0; k < m_curves.size(); ++k)
                lines << scopeanalysis::statisticsRow(m_curves[k].title, m_curves[k].unit, m_statistics[std::size_t(k)]);
            m_report.table(lines);
        }
        m_report.say(QStringLiteral("wrote %1 rows of %2 channel(s), %3 s of controller time, to %4")
                         .arg(m_written)
                         .arg(m_options.channels.count())
                         .arg(seconds(m_written ? m_lastWritten : 0.0))
                         .arg(m_out.displayName()));
        return status;
    }

private:
    // A row whose stamp is not a number, or does not move on from the last
    // one, cannot be placed on the time axis: only the others are fresh.
    void fetch()
    {
        double cpu = 0.0;
        uint32_t memory = 0;
        m_rows.clear();
        VX_ReadScopeData(&cpu, &memory, &m_rows);
        m_fresh.clear();
        for (const _ST_ReadScopeData& row : m_rows) {
            if (!std::isfinite(row.time) || row.time <= m_lastTime) {
                ++m_skipped;
                continue;
            }
            m_lastTime = row.time;
            m_fresh.push_back(row);
        }
    }

    std::optional<End> checkRows()
    {
        if (!m_fresh.empty()) {
            m_anyRows = true;
            m_lastRows = Clock::now();
        } else if (msSince(m_lastRows) > m_options.timeoutMs) {
            return End::NoRows;
        }
        return std::nullopt;
    }
    std::optional<End> checkTrigger()
    {
        const bool waitingToOpen = m_trigger.armed() && m_trig.grabMode == GrabMode::Open;
        switch (m_trigger.check(m_trig, m_fresh)) {
        case ScopeTriggerState::Fired::Opened:
            m_report.say(QStringLiteral("trigger fired at controller time %1 ms")
                             .arg(QString::number(m_fresh.front().time, 'f', 3)));
            return std::nullopt;
        case ScopeTriggerState::Fired::Ended:
            return End::TriggerEnd;
        case ScopeTriggerState::Fired::No:
            break;
        }
        if (waitingToOpen && m_options.triggerTimeoutMs > 0 && msSince(m_started) > m_options.triggerTimeoutMs)
            return End::TriggerTimeout;
        return std::nullopt;
    }

    std::optional<End> record()
    {
        if (!m_trigger.grabbing())
            return std::nullopt;
        for (const _ST_ReadScopeData& row : m_fresh)
            if (auto end = recordRow(row))
                return end;
        return std::nullopt;
    }

    std::optional<End> recordRow(const _ST_ReadScopeData& row)
    {
        if (!m_haveFirst) {
            m_haveFirst = true;
            m_firstTime = row.time;
            m_report.say(QStringLiteral("first row at controller time %1 ms").arg(QString::number(m_firstTime, 'f', 3)));
        }
        // The file starts at 0, as the page's plot does.
        const double x = timeOnAxis(row.time, m_firstTime);
        if (m_options.durationMs > 0 && x >= m_options.durationMs) {
            // Rows lost just before the end are missing from the file too.
            m_gaps.countUpTo(m_firstTime + m_options.durationMs);
            return End::Duration;
        }
        for (int k = 0; k < m_curves.size(); ++k) {
            if (!m_receives[std::size_t(k)])
                continue;
            scopefile::Curve& c = m_curves[k];
            c.x.resize(1);
            c.y.resize(1);
            c.x[0] = x;
            c.y[0] = row.values[k];
            m_statistics[std::size_t(k)].add(row.values[k]);
        }
        if (m_derived) {
            double values[scopederived::kMaxChannels];
            m_derived->evaluate(row.time, row.values, values);
            for (int i = 0; i < m_derived->count(); ++i) {
                scopefile::Curve& c = m_curves[m_firstDerived + i];
                c.x.resize(1);
                c.y.resize(1);
                c.x[0] = x;
                c.y[0] = values[i];
                m_statistics[std::size_t(m_firstDerived + i)].add(values[i]);
            }
        }
        if (!m_out.write(scopefile::rowLine(m_curves, 0)))
            return End::WriteFailed;
        m_lastWritten = x;
        m_gaps.add(row.time);
        if (++m_written >= scopefile::kMaxRows)
            return End::RowCap;
        return std::nullopt;
    }

    std::optional<End> watchRobot()
    {
        if (!m_options.stopOnError || msSince(m_lastRobotCheck) < kRobotCheckMs)
            return std::nullopt;
        m_lastRobotCheck = Clock::now();
        int f[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        const int result = VXIF_ReadRobotFlags(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
        if (result != 0 && !m_flagsWarned) {
            m_flagsWarned = true;
            m_report.warn(QStringLiteral("cannot read the robot state from %1:%2 (result %3); "
                                         "--stop-on-error is not watching")
                              .arg(m_options.address)
                              .arg(vx::kCommandPort)
                              .arg(result));
        }
        // The second sighting stops, as on the page.
        if (f[2] == 1 && m_trigger.robotErrorSighted())
            return End::RobotError;
        return std::nullopt;
    }

    std::optional<End> watchLink()
    {
        if (msSince(m_lastLinkCheck) < kLinkCheckMs)
            return std::nullopt;
        m_lastLinkCheck = Clock::now();
        if (!VX_IsConnectDashboard())
            return End::LinkLost;
        return std::nullopt;
    }

    // Says how the recording ended; the exit status it stands for.
    int reportEnd(End end)
    {
        switch (end) {
        case End::Duration:
        case End::WriteFailed:
            return kExitOk;
        case End::Interrupted:
            m_report.say(QStringLiteral("interrupted; keeping what was recorded"));
            return kExitOk;
        case End::TriggerEnd:
            m_report.say(QStringLiteral("the end-grab trigger fired; its batch is not recorded"));
            return kExitOk;
        case End::RowCap:
            m_report.warn(QStringLiteral("stopped at %1 rows, the most the scope page imports").arg(scopefile::kMaxRows));
            return kExitOk;
        case End::RobotError:
            m_report.error(QStringLiteral("the robot reported an error; recording stopped"));
            return kExitRobotError;
        case End::NoRows:
            reportNoRows();
            return kExitFailure;
        case End::LinkLost:
            m_report.error(
                QStringLiteral("lost the link to the controller at %1; recording stopped").arg(m_options.address));
            return kExitFailure;
        case End::TriggerTimeout:
            m_report.error(
                QStringLiteral("the trigger did not fire within %1 s").arg(seconds(m_options.triggerTimeoutMs)));
            return kExitFailure;
        }
        return kExitFailure;
    }

    void reportNoRows()
    {
        if (!m_anyRows) {
            m_report.error(QStringLiteral("no scope rows from the controller at %1 within %2 s")
                               .arg(m_options.address, seconds(m_options.timeoutMs)));
            return;
        }
        m_report.error(QStringLiteral("no new scope rows from the controller for %1 s; recording stopped%2")
                           .arg(seconds(m_options.timeoutMs))
                           .arg(m_skipped ? QStringLiteral(" (%1 rows with earlier time stamps were skipped: "
                                                           "did the controller restart?)")
                                                .arg(m_skipped)
                                          : QString()));
    }

    // Rows missing at the controller, replies the link dropped, rows skipped.
    void reportLosses()
    {
        if (m_gaps.gaps() > 0)
            m_report.warn(QStringLiteral("%1 gap(s) in the time stamps, %2 row(s) missing at the controller's "
                                         "%3 ms cycle")
                              .arg(m_gaps.gaps())
                              .arg(m_gaps.missingRows())
                              .arg(QString::number(m_gaps.cycle(), 'g', 6)));
        std::uint64_t brokenReplies = 0, rowsOverCap = 0;
        VX_ReadScopeStreamCounts(&brokenReplies, &rowsOverCap);
        if (brokenReplies > 0)
            m_report.warn(QStringLiteral("%1 break(s) in the dashboard stream: bytes that made no reply or row "
                                         "were passed over up to the next whole reply")
                              .arg(brokenReplies));
        if (m_skipped > 0)
            m_report.warn(QStringLiteral("%1 row(s) skipped whose time stamp did not advance").arg(m_skipped));
    }

    const Options& m_options;
    const ScopeTriggerSetting& m_trig;
    Reporter& m_report;
    Output& m_out;
    QVector<scopefile::Curve> m_curves;
    std::vector<bool> m_receives;
    std::unique_ptr<scopederived::ScopeDerivedSet> m_derived;
    int m_firstDerived = 0;
    std::vector<ScopeStatistics> m_statistics; // of the values written, per channel
    ScopeTriggerState m_trigger;

    const Clock::time_point m_started = Clock::now();
    Clock::time_point m_lastRows = m_started;
    Clock::time_point m_lastRobotCheck = m_started;
    Clock::time_point m_lastLinkCheck = m_started;
    bool m_anyRows = false;
    bool m_haveFirst = false;
    double m_firstTime = 0.0;
    double m_lastTime = -std::numeric_limits<double>::infinity();
    double m_lastWritten = 0.0;
    qint64 m_written = 0;
    qint64 m_skipped = 0;
    // Rows missing from the file at the controller's own cycle.
    ScopeGapCounter m_gaps;
    bool m_flagsWarned = false;
    std::vector<_ST_ReadScopeData> m_rows;
    std::vector<_ST_ReadScopeData> m_fresh;
};

} // namespace

int runCapture(const Options& options, std::FILE* err, const std::function<bool()>& stopRequested)
{
    Reporter report(err, options.quiet);
    for (const QString& note : options.notes)
        report.warn(note);
    if (const std::optional<int> failed = connectController(options, report))
        return *failed;

    Output out(options.output);
    Recording recording(options, report, out);
    if (!out.open()) {
        report.error(QStringLiteral("cannot write %1: %2").arg(out.displayName(), out.error()));
        return kExitFailure;
    }
    if (!out.write(scopefile::headerLine(recording.curves()))) {
        report.error(QStringLiteral("cannot write %1: %2").arg(out.displayName(), out.error()));
        out.discard();
        return kExitFailure;
    }

    QStringList titles;
    for (const ScopeChannel& c : options.channels.channels)
        titles << c.title;
    report.say(QStringLiteral("recording %1 channel(s) from %2 %3 into %4: %5")
                   .arg(options.channels.count())
                   .arg(options.address)
                   .arg(options.durationMs > 0 ? QStringLiteral("for %1 s").arg(seconds(options.durationMs))
                                               : QStringLiteral("until interrupted"))
                   .arg(out.displayName())
                   .arg(titles.join(QStringLiteral(", "))));
    const ScopeTriggerSetting& trig = options.triggerSetting;
    if (recording.trigger().armed())
        report.say(QStringLiteral("waiting for the trigger: %1%2 %3 %4 (%5)")
                       .arg(trig.absoluteValue ? QStringLiteral("|") : QString(), options.triggerChannel)
                       .arg(TriggerConditions().value(int(trig.condition)))
                       .arg(trig.threshold)
                       .arg(TriggerGrabModes().value(int(trig.grabMode))));

    for (;;) {
        const Clock::time_point passStart = Clock::now();
        if (stopRequested && stopRequested())
            return recording.finish(End::Interrupted);
        if (const std::optional<End> end = recording.step())
            return recording.finish(*end);
        recording.showProgress();
        const double left = kPassMs - msSince(passStart);
        if (left > 0)
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(left));
    }
}

} // namespace capture
