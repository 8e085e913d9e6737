// vxscope-capture run as a program against the controller simulator: the
// file it writes is read back with the scope page's own reader and checked
// row by row against the simulator's pure channel functions.
#include "SimModel.h"
#include "SimProcess.h"
#include "scopeanalysis.h"
#include "scopefile.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

struct ToolRun
{
    bool finished = false;
    int exitCode = -1;
    QString err;
};

QString tool()
{
    return QString::fromLocal8Bit(qgetenv("VX_BIN_DIR")) + QStringLiteral("/vxscope-capture");
}

// Runs the tool to its end, bounded in time (a hang detector: the bound is
// generous for a loaded machine); a tool that overruns is killed. With
// `interrupt`, the tool is interrupted once it has recorded its first row.
ToolRun runTool(const QStringList& args, int timeoutMs = 60000, bool interrupt = false)
{
    ToolRun run;
    QProcess p;
    p.setProgram(tool());
    p.setArguments(args);
    QElapsedTimer clock;
    clock.start();
    p.start();
    if (!p.waitForStarted(10000))
        return run;
    if (interrupt) {
        QByteArray err;
        while (!err.contains("first row at") && p.state() == QProcess::Running && clock.elapsed() < timeoutMs) {
            p.waitForReadyRead(100);
            err += p.readAllStandardError();
        }
        p.waitForFinished(200);   // a few rows more
        if (p.state() == QProcess::Running)
            p.terminate();
        run.err = QString::fromLocal8Bit(err);
    }
    run.finished = p.waitForFinished(timeoutMs);
    if (!run.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.err += QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

// The controller time of the first recorded row, as the tool reports it.
bool firstStamp(const QString& err, qint64& stamp)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("first row at controller time ([0-9]+)\\.000 ms")).match(err);
    if (!m.hasMatch())
        return false;
    stamp = m.captured(1).toLongLong();
    return true;
}

// The rows the tool reports missing from its file ("N row(s) missing"),
// 0 if it reports none.
int reportedMissing(const QString& err)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("([0-9]+) row\\(s\\) missing")).match(err);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

scopefile::ReadResult readBack(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return scopefile::ReadResult{scopefile::ReadError::ReadFailed, 0, {}};
    return scopefile::readFile(file);
}

// What the file holds for a value: the simulator's value written with three
// decimals.
double asWritten(double v)
{
    return QString::number(v, 'f', 3).toDouble();
}

class CaptureSim : public ::testing::Test
{
protected:
    void startSim(const char* address, std::vector<std::string> options = {})
    {
        sim = std::make_unique<vxtest::SimProcess>(address, options);
        ASSERT_TRUE(sim->ok()) << sim->error();
    }
    QString out(const char* name) const { return dir.filePath(QLatin1String(name)); }

    // Every row holds each receiving channel's simulator value at its own
    // controller time.
    void expectSimulatorValues(const scopefile::Content& c, qint64 first, const std::vector<int>& indexes)
    {
        ASSERT_EQ(std::size_t(c.curves.size()), indexes.size());
        int mismatches = 0;
        for (int r = 0; r < c.times.size(); ++r) {
            const double t = c.times[r];
            ASSERT_EQ(t, std::floor(t)) << "row " << r;
            if (r > 0) {
                ASSERT_GT(t, c.times[r - 1]) << "row " << r;
            }
            const int64_t k = first + int64_t(t);
            for (std::size_t i = 0; i < indexes.size(); ++i) {
                if (indexes[i] == 0)
                    continue;
                const double expected = asWritten(zps::channelValue(indexes[i], k));
                if (c.curves[int(i)].y[r] != expected && ++mismatches <= 5)
                    ADD_FAILURE() << c.curves[int(i)].title.toStdString() << " row " << r << " (k " << k
                                  << "): " << c.curves[int(i)].y[r] << " != " << expected;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }

    QTemporaryDir dir;
    std::unique_ptr<vxtest::SimProcess> sim;
};

TEST_F(CaptureSim, TitledChannelsArriveWithTheSimulatorsValuesAndReadBackByteForByte)
{
    startSim("127.0.6.1");
    const QString file = out("titles.csv");
    const ToolRun run = runTool({"-a", "127.0.6.1", "-d", "1.5", "-o", file, "-c", "J1 Actual ACS", "-c",
                             "CurMS,X Actual PCS", "-c", "NULL", "-c", "j2  target cur", "--stats"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    qint64 first = 0;
    ASSERT_TRUE(firstStamp(run.err, first)) << run.err.toStdString();

    const scopefile::ReadResult read = readBack(file);
    ASSERT_EQ(read.error, scopefile::ReadError::None);
    const scopefile::Content& c = read.content;
    ASSERT_TRUE(c.hasTimeColumn);
    QStringList titles;
    for (const scopefile::Curve& curve : c.curves)
        titles << curve.title;
    EXPECT_EQ(titles, QStringList({"J1 Actual ACS", "CurMS", "X Actual PCS", "NULL", "J2 Target Cur"}));
    EXPECT_EQ(c.curves[0].unit, "ACS(deg)");
    EXPECT_EQ(c.curves[2].subIndex, 0);
    EXPECT_EQ(c.curves[4].link, 12);

    // 1.5 s of controller time at 1 kHz: each row of it is in the file or
    // reported missing (reads fall behind on a loaded machine), none extra.
    EXPECT_EQ(c.times.size() + reportedMissing(run.err), 1500) << run.err.toStdString();
    EXPECT_EQ(c.times.first(), 0.0);
    EXPECT_LT(c.times.last(), 1500.0);
    expectSimulatorValues(c, first, {49, 3, 25, 0, 68});
    // The reported start is the controller's own clock: CurMS is the sample number.
    EXPECT_EQ(c.curves[1].y[0], double(first));

    // The page's writer produces the same bytes from what was read back:
    // the "NULL" channel, which receives nothing, as empty fields.
    QVector<scopefile::Curve> curves = c.curves;
    for (int i = 0; i < curves.size(); ++i) {
        if (i == 3) {
            curves[i].y.clear();
            continue;
        }
        curves[i].x = c.times;
    }
    QFile raw(file);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_EQ(scopefile::exportLines(curves).join(QString()).toUtf8(), raw.readAll());

    // --stats: one line per channel, of the values the file holds (written
    // with three decimals, so the figures agree to that).
    QHash<QString, QStringList> rows;
    for (const QString& line : run.err.split('\n')) {
        const QStringList cells = line.split('\t');
        if (cells.size() == 10)
            rows[cells[0]] = cells;
    }
    ASSERT_TRUE(rows.contains("curve")) << run.err.toStdString();
    for (int i : {0, 1, 2, 4}) {
        const QStringList cells = rows.value(c.curves[i].title);
        ASSERT_EQ(cells.size(), 10) << c.curves[i].title.toStdString();
        const ScopeStatistics s = scopeanalysis::statistics(c.curves[i].y.constData(), std::size_t(c.curves[i].y.size()));
        EXPECT_EQ(cells[1], c.curves[i].unit);
        EXPECT_EQ(cells[2].toULongLong(), s.samples);
        const double slack = 0.0005 + 1e-5 * std::abs(s.mean); // three decimals, six digits
        EXPECT_NEAR(cells[3].toDouble(), s.min, slack);
        EXPECT_NEAR(cells[4].toDouble(), s.max, slack);
        EXPECT_NEAR(cells[6].toDouble(), s.mean, slack);
        EXPECT_NEAR(cells[8].toDouble(), s.stdDev(), slack + 1e-5 * s.stdDev());
    }
    EXPECT_EQ(rows.value("CurMS").value(3).toDouble(), double(first)); // the sample number counts up
    EXPECT_EQ(rows.value("NULL").value(2), "0"); // receives nothing: no figures
    EXPECT_EQ(rows.value("NULL").value(3), "");
}

TEST_F(CaptureSim, GroupSelectionFollowsTheDialogsOrder)
{
    startSim("127.0.6.2");
    const QString file = out("groups.csv");
    const ToolRun run = runTool({"-a", "127.0.6.2", "-d", "1", "-o", file, "--joints", "J3,J1", "--link",
                             "Actual Cur,Target ACS", "--axes", "RZ", "--end-effector", "ForceSensor",
                             "--components", "RTCycle"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    qint64 first = 0;
    ASSERT_TRUE(firstStamp(run.err, first));
    const scopefile::ReadResult read = readBack(file);
    ASSERT_EQ(read.error, scopefile::ReadError::None);
    QStringList titles;
    for (const scopefile::Curve& curve : read.content.curves)
        titles << curve.title;
    EXPECT_EQ(titles, QStringList({"J1 Target ACS", "J1 Actual Cur", "J3 Target ACS", "J3 Actual Cur",
                                   "RZ SrcData", "RZ CaliData", "RTCycle"}));
    EXPECT_EQ(read.content.times.size() + reportedMissing(run.err), 1000) << run.err.toStdString();
    expectSimulatorValues(read.content, first, {43, 73, 45, 75, 174, 180, 4});
}

TEST_F(CaptureSim, DurationBoundsTheRecordingAndTheRun)
{
    startSim("127.0.6.3");
    const QString file = out("duration.csv");
    const ToolRun run = runTool({"-a", "127.0.6.3", "-d", "3", "-o", file, "-c", "CurMS", "--derive",
                                 "Rate[1/s]=deriv([CurMS])", "--derive", "Twice=[ CurMS ] * 2"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const scopefile::ReadResult read = readBack(file);
    ASSERT_EQ(read.error, scopefile::ReadError::None);
    // Every row of the 3 s is there unless a read fell behind, which the
    // tool then reports; the run ended by itself.
    EXPECT_EQ(read.content.times.size() + reportedMissing(run.err), 3000) << run.err.toStdString();
    EXPECT_LT(read.content.times.last(), 3000.0);

    // The derived columns, computed from each row: CurMS counts the
    // controller's milliseconds, so it rises by 1000 a second, also across
    // rows a slow read lost.
    const scopefile::Content& c = read.content;
    ASSERT_EQ(c.curves.size(), 3);
    EXPECT_TRUE(c.curves[1].derived);
    EXPECT_EQ(c.curves[1].title, "Rate");
    EXPECT_EQ(c.curves[1].unit, "1/s");
    EXPECT_EQ(c.curves[2].expression, "[ CurMS ] * 2");
    ASSERT_EQ(c.curves[1].y.size(), c.times.size());
    EXPECT_TRUE(std::isnan(c.curves[1].y[0]));
    int wrong = 0;
    for (int r = 1; r < c.times.size(); ++r)
        wrong += c.curves[1].y[r] != 1000.0 || c.curves[2].y[r] != 2 * c.curves[0].y[r];
    EXPECT_EQ(wrong, 0);
}

TEST_F(CaptureSim, OpenGrabTriggerStartsWithTheBatchThatFiredIt)
{
    startSim("127.0.6.4");
    const QString file = out("open.csv");
    // CurMS counts the simulator's milliseconds: it crosses 4000 once.
    const ToolRun run = runTool({"-a", "127.0.6.4", "-d", "1", "-o", file, "-c", "CurMS,J1 Actual ACS", "--trigger",
                             "CurMS", "--condition", ">", "--threshold", "4000", "--trigger-timeout", "20"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(run.err.contains("trigger fired")) << run.err.toStdString();
    const scopefile::ReadResult read = readBack(file);
    ASSERT_EQ(read.error, scopefile::ReadError::None);
    const QVector<double>& ms = read.content.curves[0].y;
    ASSERT_FALSE(ms.isEmpty());
    // The firing batch is recorded whole: the recording starts with that
    // batch's first row and holds the crossing. (How many rows the batch
    // holds depends on how late the read came.)
    qint64 first = 0;
    ASSERT_TRUE(firstStamp(run.err, first));
    EXPECT_TRUE(run.err.contains(QStringLiteral("trigger fired at controller time %1.000 ms").arg(first)))
        << run.err.toStdString();
    EXPECT_EQ(ms.first(), double(first));
    EXPECT_LE(ms.first(), 4001.0);
    EXPECT_TRUE(std::any_of(ms.begin(), ms.end(), [](double v) { return v > 4000.0; }));
    EXPECT_EQ(read.content.times.size() + reportedMissing(run.err), 1000) << run.err.toStdString();
    expectSimulatorValues(read.content, first, {3, 49});
}

TEST_F(CaptureSim, EndGrabTriggerEndsBeforeTheBatchThatFiredIt)
{
    startSim("127.0.6.5");
    const QString file = out("end.csv");
    const ToolRun run = runTool({"-a", "127.0.6.5", "-d", "0", "-o", file, "-c", "CurMS", "--trigger", "0",
                             "--condition", ">", "--threshold", "3000", "--grab", "end"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const scopefile::ReadResult read = readBack(file);
    ASSERT_EQ(read.error, scopefile::ReadError::None);
    const QVector<double>& ms = read.content.curves[0].y;
    ASSERT_FALSE(ms.isEmpty());
    // Nothing of the firing batch, which holds the first value above 3000;
    // everything before it from the first row on.
    EXPECT_LE(ms.last(), 3000.0);
    EXPECT_EQ(ms.size() + reportedMissing(run.err), int(ms.last() - ms.first()) + 1) << run.err.toStdString();
}

TEST_F(CaptureSim, SecondRobotErrorSightingStopsAndKeepsTheFile)
{
    startSim("127.0.6.6", {"--robot-error"});
    const QString file = out("error.csv");
    const ToolRun run = runTool({"-a", "127.0.6.6", "-d", "0", "-o", file, "-c", "CurFSM", "--stop-on-error"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("robot reported an error"));
    const scopefile::ReadResult read = readBack(file);
    ASSERT_EQ(read.error, scopefile::ReadError::None);
    EXPECT_FALSE(read.content.times.isEmpty());
    for (double v : read.content.curves[0].y)
        EXPECT_EQ(v, 9.0); // the simulator's state machine reports its error state
}

TEST_F(CaptureSim, InterruptKeepsWhatWasRecorded)
{
    startSim("127.0.6.7");
    const QString file = out("interrupted.csv");
    const ToolRun run = runTool({"-a", "127.0.6.7", "-d", "0", "-o", file, "-c", "CurMS"}, 60000, true);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const scopefile::ReadResult read = readBack(file);
    ASSERT_EQ(read.error, scopefile::ReadError::None);
    EXPECT_GT(read.content.times.size(), 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("wrote %1 rows").arg(read.content.times.size())))
        << run.err.toStdString();
}

struct Refusal
{
    const char* name;
    QStringList args;
    int exitCode;
    const char* message;
};

TEST_F(CaptureSim, RefusalsSayWhyAndLeaveNoFile)
{
    startSim("127.0.6.8", {"--dash-mode", "silent"});
    QStringList components;
    const Refusal cases[] = {
        {"unknown channel", {"-a", "127.0.6.8", "-c", "J7 Actual ACS"}, 2, "unknown channel \"J7 Actual ACS\""},
        {"37 channels",
         {"-a", "127.0.6.8", "--joints", "all", "--link", "Motor Position", "--components",
          "CurFSM,LastFSM,CurMS,RTCycle,RTMaxCycle,RTMinCycle,RTTaskMS"},
         2, "37 channels chosen"},
        {"36 channels and one title", {"-a", "127.0.6.8", "--joints", "all", "--link", "Motor Position,Target Cur",
                                       "-c", "CurMS"}, 2, "37 channels chosen"},
        {"selector as channel", {"-a", "127.0.6.8", "--components", "J1"}, 2, "use --joints"},
        {"joints without link data", {"-a", "127.0.6.8", "--joints", "J1"}, 2, "need link-data"},
        {"nothing chosen", {"-a", "127.0.6.8"}, 2, "no channel chosen"},
        {"bad address", {"-a", "127.0.6", "-c", "CurMS"}, 2, "not a dotted IPv4 address"},
        {"trigger on a channel not chosen", {"-a", "127.0.6.8", "-c", "CurMS", "--trigger", "CurFSM"}, 2,
         "not one of the chosen"},
        {"unreachable controller", {"-a", "127.0.6.250", "-c", "CurMS"}, 1, "cannot reach the controller"},
        {"silent controller", {"-a", "127.0.6.8", "-c", "CurMS", "--timeout", "1"}, 1, "no scope rows"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = out("refused.csv");
        // Finished: a silent controller is given up after the time-out, not
        // waited for.
        const ToolRun run = runTool(QStringList(c.args) << "-o" << file);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(file));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
