#include "capturerun.h"

#include "VX_Prod.h"
#include "capturechannels.h"
#include "scopefile.h"
#include "scopegaps.h"
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

bool readSeconds(const QString& text, double& ms)
{
    bool ok = false;
    const double s = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(s) || s < 0 || s > kMaxSeconds)
        return false;
    ms = s * 1000.0;
    return true;
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

ParseResult parseArguments(const QStringList& arguments, Options& options, QString& message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records scope channels from a ZPS controller without a window and writes them as a\n"
        "scope data file that the scope page imports."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption list(QStringLiteral("list-channels"),
                                  QStringLiteral("List every channel title with its index and unit."));
    const QCommandLineOption address({QStringLiteral("a"), QStringLiteral("address")},
                                     QStringLiteral("The controller's IPv4 address."), QStringLiteral("ip"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("File to write (\"-\" for standard output); default "
                                                   "VX_Scope_<date>_<time>.csv in the current folder."),
                                    QStringLiteral("file"));
    const QCommandLineOption duration({QStringLiteral("d"), QStringLiteral("duration")},
                                      QStringLiteral("Seconds of controller time to record; 0 records until "
                                                     "interrupted (default 10)."),
                                      QStringLiteral("seconds"), QStringLiteral("10"));
    const QCommandLineOption channel({QStringLiteral("c"), QStringLiteral("channel")},
                                     QStringLiteral("Channel title(s) as listed by --list-channels."),
                                     QStringLiteral("titles"));
    const QCommandLineOption joints(QStringLiteral("joints"), QStringLiteral("Joints J1..J6 for --link."),
                                    QStringLiteral("list"));
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Link-data channels or headings."),
                                  QStringLiteral("list"));
    const QCommandLineOption axes(QStringLiteral("axes"), QStringLiteral("Axes X..RZ for --end-effector."),
                                  QStringLiteral("list"));
    const QCommandLineOption endEffector(QStringLiteral("end-effector"),
                                         QStringLiteral("End-effector channels or headings."),
                                         QStringLiteral("list"));
    const QCommandLineOption components(QStringLiteral("components"),
                                        QStringLiteral("System values and TCP velocities."),
                                        QStringLiteral("list"));
    const QCommandLineOption trigger(QStringLiteral("trigger"),
                                     QStringLiteral("Arm the trigger on this chosen channel (title or slot)."),
                                     QStringLiteral("channel"));
    const QCommandLineOption condition(QStringLiteral("condition"),
                                       QStringLiteral("Trigger condition: \">\" (default) or \"<\"."),
                                       QStringLiteral("cond"), QStringLiteral(">"));
    const QCommandLineOption threshold(QStringLiteral("threshold"), QStringLiteral("Trigger threshold (default 0)."),
                                       QStringLiteral("value"), QStringLiteral("0"));
    const QCommandLineOption grab(QStringLiteral("grab"),
                                  QStringLiteral("\"open\": recording starts when the trigger fires (default); "
                                                 "\"end\": recording ends when it fires."),
                                  QStringLiteral("mode"), QStringLiteral("open"));
    const QCommandLineOption absolute(QStringLiteral("absolute"),
                                      QStringLiteral("Compare the trigger channel's absolute value."));
    const QCommandLineOption triggerTimeout(QStringLiteral("trigger-timeout"),
                                            QStringLiteral("Give up when an open-grab trigger has not fired "
                                                           "within this many seconds (default 0: wait)."),
                                            QStringLiteral("seconds"), QStringLiteral("0"));
    const QCommandLineOption stopOnError(QStringLiteral("stop-on-error"),
                                         QStringLiteral("Stop on the second robot error sighting, as the "
                                                        "page's \"Stop when Error\"."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Seconds to wait for rows before giving up (default 5)."),
                                     QStringLiteral("seconds"), QStringLiteral("5"));
    const QCommandLineOption derive(QStringLiteral("derive"),
                                    QStringLiteral("A derived channel NAME[UNIT]=EXPRESSION (repeatable)."),
                                    QStringLiteral("definition"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("No progress, only errors."));
    parser.addOptions({help, list, address, output, duration, channel, joints, link, axes, endEffector,
                       components, trigger, condition, threshold, grab, absolute, triggerTimeout, stopOnError,
                       timeout, quiet, derive});

    if (!parser.parse(arguments)) {
        message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(help)) {
        message = helpText(parser);
        return ParseResult::Help;
    }
    if (parser.isSet(list))
        return ParseResult::ListChannels;
    if (!parser.positionalArguments().isEmpty()) {
        message = QStringLiteral("unexpected argument \"%1\" (channel titles go with -c)")
                      .arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }

    options.address = parser.value(address).trimmed();
    if (options.address.isEmpty()) {
        message = QStringLiteral("no controller address: give --address");
        return ParseResult::Error;
    }
    in_addr host{};
    if (::inet_pton(AF_INET, options.address.toLatin1().constData(), &host) != 1) {
        message = QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(options.address);
        return ParseResult::Error;
    }
    if (!readSeconds(parser.value(duration), options.durationMs)) {
        message = QStringLiteral("--duration takes seconds from 0 to %1").arg(kMaxSeconds);
        return ParseResult::Error;
    }
    if (!readSeconds(parser.value(timeout), options.timeoutMs) || options.timeoutMs <= 0) {
        message = QStringLiteral("--timeout takes seconds above 0");
        return ParseResult::Error;
    }
    if (!readSeconds(parser.value(triggerTimeout), options.triggerTimeoutMs)) {
        message = QStringLiteral("--trigger-timeout takes seconds from 0 to %1").arg(kMaxSeconds);
        return ParseResult::Error;
    }
    options.stopOnError = parser.isSet(stopOnError);
    options.quiet = parser.isSet(quiet);

    GroupSelection groups;
    groups.joints = splitList(parser.values(joints));
    groups.links = splitList(parser.values(link));
    groups.axes = splitList(parser.values(axes));
    groups.endEffectors = splitList(parser.values(endEffector));
    groups.components = splitList(parser.values(components));
    const ChannelChoice choice = chooseChannels(groups, splitList(parser.values(channel)));
    if (!choice.error.isEmpty()) {
        message = choice.error;
        return ParseResult::Error;
    }
    options.channels = choice.list;
    options.notes = choice.notes;

    const QStringList derivedTexts = parser.values(derive);
    if (derivedTexts.size() > scopederived::kMaxChannels) {
        message = QStringLiteral("at most %1 --derive options").arg(scopederived::kMaxChannels);
        return ParseResult::Error;
    }
    QStringList known;
    for (const ScopeChannel& c : allChannels().channels)
        known << c.title.trimmed();
    for (const QString& text : derivedTexts) {
        scopederived::Definition d;
        QString why;
        scopederived::Problem problem;
        if (!scopederived::parseOption(text, d, why)) {
            message = QStringLiteral("--derive \"%1\": %2").arg(text, why);
            return ParseResult::Error;
        }
        if (!scopederived::ScopeDerivedSet::check(d, derivedSources(options.channels), known, &problem)) {
            message = problem.position < 0
                          ? QStringLiteral("--derive \"%1\": %2").arg(text, problem.reason)
                          : QStringLiteral("--derive \"%1\": expression position %2: %3")
                                .arg(text)
                                .arg(problem.position + 1)
                                .arg(problem.reason);
            return ParseResult::Error;
        }
        options.derived.append(d);
    }
    {
        int failed = -1;
        scopederived::Problem problem;
        if (!scopederived::ScopeDerivedSet::compile(options.derived, derivedSources(options.channels), known,
                                                    &failed, &problem)) {
            message = QStringLiteral("--derive \"%1\": %2").arg(derivedTexts.value(failed), problem.reason);
            return ParseResult::Error;
        }
    }

    const bool triggerOptions = parser.isSet(condition) || parser.isSet(threshold) || parser.isSet(grab)
                                || parser.isSet(absolute) || parser.isSet(triggerTimeout);
    options.trigger = parser.isSet(trigger);
    if (!options.trigger && triggerOptions) {
        message = QStringLiteral("trigger settings without --trigger");
        return ParseResult::Error;
    }
    if (options.trigger) {
        ScopeTriggerSetting& s = options.triggerSetting;
        options.triggerChannel = parser.value(trigger).trimmed();
        // The trigger box lists the channels in slot order: its position
        // is the slot and the value column of every row.
        s.channel = -1;
        bool isNumber = false;
        const int slot = options.triggerChannel.toInt(&isNumber);
        if (isNumber && slot >= 0 && slot < options.channels.count())
            s.channel = slot;
        for (const ScopeChannel& c : options.channels.channels) {
            if (s.channel < 0 && c.title.simplified().compare(options.triggerChannel.simplified(),
                                                               Qt::CaseInsensitive) == 0)
                s.channel = c.info.nCurve;
        }
        if (s.channel < 0) {
            message = QStringLiteral("trigger channel \"%1\" is not one of the chosen channels")
                          .arg(options.triggerChannel);
            return ParseResult::Error;
        }
        options.triggerChannel = options.channels.channels[std::size_t(s.channel)].title;
        s.channelData = s.channel;
        const QString cond = parser.value(condition).trimmed();
        const int position = TriggerConditions().indexOf(cond);
        if (position < 0) {
            message = QStringLiteral("--condition takes \">\" or \"<\"");
            return ParseResult::Error;
        }
        s.condition = position;
        bool ok = false;
        s.threshold = QLocale::c().toDouble(parser.value(threshold).trimmed(), &ok);
        if (!ok || !std::isfinite(s.threshold)) {
            message = QStringLiteral("--threshold takes a number written with \".\"");
            return ParseResult::Error;
        }
        const QString mode = parser.value(grab).trimmed().toLower();
        if (mode == QLatin1String("open") || mode == TriggerGrabModes().at(0).toLower())
            s.grabMode = 0;
        else if (mode == QLatin1String("end") || mode == TriggerGrabModes().at(1).toLower())
            s.grabMode = 1;
        else {
            message = QStringLiteral("--grab takes \"open\" or \"end\"");
            return ParseResult::Error;
        }
        s.absoluteValue = parser.isSet(absolute);
    }

    options.output = parser.value(output);
    if (options.output.isEmpty())
        options.output = scopesavename::proposedName(QStringLiteral("csv"));
    if (options.output != QLatin1String("-") && QFileInfo(options.output).suffix() != QLatin1String("csv"))
        options.notes << QStringLiteral("the scope page imports only files whose name ends in \".csv\"");
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

} // namespace

int runCapture(const Options& options, std::FILE* err, const std::function<bool()>& stopRequested)
{
    Reporter report(err, options.quiet);
    for (const QString& note : options.notes)
        report.warn(note);

    const std::string address = options.address.toStdString();
    report.say(QStringLiteral("connecting to %1").arg(options.address));
    const int rc = VX_InitDashboardClient(address);
    if (rc != 0) {
        report.error(QStringLiteral("cannot reach the controller at %1 (dashboard port 20003): %2")
                         .arg(options.address, QString::fromLocal8Bit(std::strerror(rc))));
        return kExitFailure;
    }
    if (options.stopOnError)
        VXRPC_InitClient(address, 20000, 10003); // only the command port (10003) is used

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
    {
        double cpu = 0.0;
        uint32_t memory = 0;
        std::vector<_ST_ReadScopeData> stale;
        VX_ReadScopeData(&cpu, &memory, &stale);
    }

    // One curve per channel; each row is written through the page's own
    // row writer with this row as sample 0 of every curve that receives.
    QVector<scopefile::Curve> curves;
    std::vector<bool> receives;
    QStringList titles;
    for (const ScopeChannel& c : options.channels.channels) {
        scopefile::Curve curve;
        curve.title = c.title;
        curve.subIndex = c.info.nSubIndex;
        curve.link = int(c.info.eLink);
        curve.endEffector = int(c.info.eEndEff);
        curve.unit = c.info.strUnit;
        curves.append(curve);
        receives.push_back(receivesSamples(c.info));
        titles << c.title;
    }
    // Derived channels follow, computed from each row before it is written.
    std::unique_ptr<scopederived::ScopeDerivedSet> derivedSet = scopederived::ScopeDerivedSet::compile(
        options.derived, derivedSources(options.channels), QStringList(), nullptr, nullptr);
    const int firstDerived = curves.size();
    if (derivedSet) {
        for (const scopederived::Definition& d : derivedSet->definitions()) {
            scopefile::Curve curve;
            curve.title = d.name;
            curve.unit = d.unit;
            curve.derived = true;
            curve.expression = d.expression;
            curves.append(curve);
            receives.push_back(false);
            titles << d.name;
        }
    }
    double derivedValues[scopederived::kMaxChannels];

    Output out(options.output);
    if (!out.open()) {
        report.error(QStringLiteral("cannot write %1: %2").arg(out.displayName(), out.error()));
        return kExitFailure;
    }
    if (!out.write(scopefile::headerLine(curves))) {
        report.error(QStringLiteral("cannot write %1: %2").arg(out.displayName(), out.error()));
        out.discard();
        return kExitFailure;
    }

    report.say(QStringLiteral("recording %1 channel(s) from %2 %3 into %4: %5")
                   .arg(options.channels.count())
                   .arg(options.address)
                   .arg(options.durationMs > 0 ? QStringLiteral("for %1 s").arg(seconds(options.durationMs))
                                               : QStringLiteral("until interrupted"))
                   .arg(out.displayName())
                   .arg(titles.join(QStringLiteral(", "))));

    const ScopeTriggerSetting& trig = options.triggerSetting;
    bool armed = options.trigger;
    bool grab = !(armed && trig.grabMode == 0);
    if (armed)
        report.say(QStringLiteral("waiting for the trigger: %1%2 %3 %4 (%5)")
                       .arg(trig.absoluteValue ? QStringLiteral("|") : QString(), options.triggerChannel)
                       .arg(TriggerConditions().value(trig.condition))
                       .arg(trig.threshold)
                       .arg(TriggerGrabModes().value(trig.grabMode)));

    enum class End { Duration, Interrupted, TriggerEnd, RowCap, RobotError, NoRows, LinkLost, TriggerTimeout,
                     WriteFailed };
    End end = End::Interrupted;

    const Clock::time_point started = Clock::now();
    Clock::time_point lastRows = started;
    Clock::time_point lastRobotCheck = started;
    Clock::time_point lastLinkCheck = started;
    bool anyRows = false;
    bool haveFirst = false;
    double firstTime = 0.0;
    double lastTime = -std::numeric_limits<double>::infinity();
    double lastWritten = 0.0;
    qint64 written = 0;
    qint64 skipped = 0;
    // Rows missing from the file at the controller's own cycle.
    ScopeGapCounter gaps;
    int errorSightings = 0;
    bool flagsWarned = false;
    std::vector<_ST_ReadScopeData> rows;
    std::vector<_ST_ReadScopeData> fresh;

    for (;;) {
        const Clock::time_point passStart = Clock::now();
        if (stopRequested && stopRequested()) {
            end = End::Interrupted;
            break;
        }

        double cpu = 0.0;
        uint32_t memory = 0;
        rows.clear();
        VX_ReadScopeData(&cpu, &memory, &rows);

        // A row whose stamp is not a number, or does not move on from the
        // last one, cannot be placed on the time axis.
        fresh.clear();
        for (const _ST_ReadScopeData& row : rows) {
            if (!std::isfinite(row.time) || row.time <= lastTime) {
                ++skipped;
                continue;
            }
            lastTime = row.time;
            fresh.push_back(row);
        }
        if (!fresh.empty()) {
            anyRows = true;
            lastRows = Clock::now();
        } else if (msSince(lastRows) > options.timeoutMs) {
            end = End::NoRows;
            break;
        }

        bool endTrigger = false;
        if (armed && triggerFires(trig, fresh)) {
            armed = false;
            if (trig.grabMode == 0) {
                grab = true;
                report.say(QStringLiteral("trigger fired at controller time %1 ms")
                               .arg(QString::number(fresh.front().time, 'f', 3)));
            } else {
                grab = false;
                endTrigger = true;
            }
        } else if (armed && trig.grabMode == 0 && options.triggerTimeoutMs > 0
                   && msSince(started) > options.triggerTimeoutMs) {
            end = End::TriggerTimeout;
            break;
        }
        if (endTrigger) {
            end = End::TriggerEnd;
            break;
        }

        bool done = false;
        if (grab) {
            for (const _ST_ReadScopeData& row : fresh) {
                if (!haveFirst) {
                    haveFirst = true;
                    firstTime = row.time;
                    report.say(QStringLiteral("first row at controller time %1 ms")
                                   .arg(QString::number(firstTime, 'f', 3)));
                }
                // The same subtraction as the page's redraw: the file starts at 0.
                const double x = row.time - firstTime;
                if (options.durationMs > 0 && x >= options.durationMs) {
                    // Rows lost just before the end are missing from the file too.
                    gaps.countUpTo(firstTime + options.durationMs);
                    end = End::Duration;
                    done = true;
                    break;
                }
                for (int k = 0; k < curves.size(); ++k) {
                    scopefile::Curve& c = curves[k];
                    if (receives[std::size_t(k)]) {
                        c.x.resize(1);
                        c.y.resize(1);
                        c.x[0] = x;
                        c.y[0] = row.values[k];
                    }
                }
                if (derivedSet) {
                    derivedSet->evaluate(row.time, row.values, derivedValues);
                    for (int i = 0; i < derivedSet->count(); ++i) {
                        scopefile::Curve& c = curves[firstDerived + i];
                        c.x.resize(1);
                        c.y.resize(1);
                        c.x[0] = x;
                        c.y[0] = derivedValues[i];
                    }
                }
                if (!out.write(scopefile::rowLine(curves, 0))) {
                    end = End::WriteFailed;
                    done = true;
                    break;
                }
                lastWritten = x;
                gaps.add(row.time);
                if (++written >= scopefile::kMaxRows) {
                    end = End::RowCap;
                    done = true;
                    break;
                }
            }
        }
        if (done)
            break;

        if (options.stopOnError && msSince(lastRobotCheck) >= kRobotCheckMs) {
            lastRobotCheck = Clock::now();
            int f[8] = {0, 0, 0, 0, 0, 0, 0, 0};
            const int result = VXIF_ReadRobotFlags(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
            if (result != 0 && !flagsWarned) {
                flagsWarned = true;
                report.warn(QStringLiteral("cannot read the robot state from %1:10003 (result %2); "
                                           "--stop-on-error is not watching")
                                .arg(options.address)
                                .arg(result));
            }
            // The second sighting stops, as on the page.
            if (f[2] == 1 && ++errorSightings > 1) {
                end = End::RobotError;
                break;
            }
        }
        if (msSince(lastLinkCheck) >= kLinkCheckMs) {
            lastLinkCheck = Clock::now();
            if (!VX_IsConnectDashboard()) {
                end = End::LinkLost;
                break;
            }
        }

        if (armed && trig.grabMode == 0)
            report.progress(QStringLiteral("waiting for the trigger, %1 s").arg(seconds(msSince(started))));
        else if (options.durationMs > 0)
            report.progress(QStringLiteral("recorded %1 of %2 s, %3 rows")
                                .arg(seconds(lastWritten), seconds(options.durationMs))
                                .arg(written));
        else
            report.progress(QStringLiteral("recorded %1 s, %2 rows").arg(seconds(lastWritten)).arg(written));

        const double left = kPassMs - msSince(passStart);
        if (left > 0)
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(left));
    }

    int status = kExitOk;
    switch (end) {
    case End::Duration:
        break;
    case End::Interrupted:
        report.say(QStringLiteral("interrupted; keeping what was recorded"));
        break;
    case End::TriggerEnd:
        report.say(QStringLiteral("the end-grab trigger fired; its batch is not recorded"));
        break;
    case End::RowCap:
        report.warn(QStringLiteral("stopped at %1 rows, the most the scope page imports").arg(scopefile::kMaxRows));
        break;
    case End::RobotError:
        report.error(QStringLiteral("the robot reported an error; recording stopped"));
        status = kExitRobotError;
        break;
    case End::NoRows:
        if (!anyRows)
            report.error(QStringLiteral("no scope rows from the controller at %1 within %2 s")
                             .arg(options.address, seconds(options.timeoutMs)));
        else
            report.error(QStringLiteral("no new scope rows from the controller for %1 s; recording stopped%2")
                             .arg(seconds(options.timeoutMs))
                             .arg(skipped ? QStringLiteral(" (%1 rows with earlier time stamps were skipped: "
                                                           "did the controller restart?)")
                                                .arg(skipped)
                                          : QString()));
        status = kExitFailure;
        break;
    case End::LinkLost:
        report.error(QStringLiteral("lost the link to the controller at %1; recording stopped").arg(options.address));
        status = kExitFailure;
        break;
    case End::TriggerTimeout:
        report.error(QStringLiteral("the trigger did not fire within %1 s").arg(seconds(options.triggerTimeoutMs)));
        status = kExitFailure;
        break;
    case End::WriteFailed:
        report.error(QStringLiteral("cannot write %1: %2").arg(out.displayName(), out.error()));
        out.discard();
        return kExitFailure;
    }

    // A run that failed before recording anything leaves no file behind.
    if (status == kExitFailure && written == 0) {
        out.discard();
        return status;
    }
    if (!out.finish()) {
        report.error(QStringLiteral("cannot write %1: %2").arg(out.displayName(), out.error()));
        return kExitFailure;
    }
    if (gaps.gaps() > 0)
        report.warn(QStringLiteral("%1 gap(s) in the time stamps, %2 row(s) missing at the controller's "
                                   "%3 ms cycle")
                        .arg(gaps.gaps())
                        .arg(gaps.missingRows())
                        .arg(QString::number(gaps.cycle(), 'g', 6)));
    std::uint64_t brokenReplies = 0, rowsOverCap = 0;
    VX_ReadScopeStreamCounts(&brokenReplies, &rowsOverCap);
    if (brokenReplies > 0)
        report.warn(QStringLiteral("%1 dashboard reply(s) announced a row count no controller sends; the "
                                   "link dropped the rest of each and started again with the next read")
                        .arg(brokenReplies));
    if (skipped > 0)
        report.warn(QStringLiteral("%1 row(s) skipped whose time stamp did not advance").arg(skipped));
    report.say(QStringLiteral("wrote %1 rows of %2 channel(s), %3 s of controller time, to %4")
                   .arg(written)
                   .arg(options.channels.count())
                   .arg(seconds(written ? lastWritten : 0.0))
                   .arg(out.displayName()));
    return status;
}

} // namespace capture
