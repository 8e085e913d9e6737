// The INI file survives a crash of the program at any moment: a reader finds
// either the file of an earlier round or that of a later one, whole.
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// A whole file: every key present and carrying the same round number.
::testing::AssertionResult WholeFile(const QString& path, int& round)
{
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return ::testing::AssertionFailure() << "unreadable";
    round = ini.value(QStringLiteral("ZPS/PORT"), -1).toInt();
    if (round <= 0)
        return ::testing::AssertionFailure() << "no ZPS/PORT";
    const QString ip = ini.value(QStringLiteral("ZPS/IP")).toString();
    if (ip != QStringLiteral("10.0.%1.%2").arg(round % 250).arg(round % 7))
        return ::testing::AssertionFailure() << "ZPS/IP " << ip.toStdString() << " in round " << round;
    for (int k = 0; k < 20; ++k) {
        const QString want = QString(200, QLatin1Char('a' + k % 26)) + QString::number(round);
        if (ini.value(QStringLiteral("VersionInfo/Key%1").arg(k)).toString() != want)
            return ::testing::AssertionFailure() << "VersionInfo/Key" << k << " torn in round " << round;
    }
    return ::testing::AssertionSuccess();
}

pid_t StartWriter(const QString& path, int& out)
{
    const char* writer = std::getenv("VX_SETTINGS_WRITER");
    if (!writer)
        return -1;
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const QByteArray file = path.toLocal8Bit();
    char* argv[] = {const_cast<char*>(writer), const_cast<char*>(file.constData()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, writer, &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out = fds[0];
    return pid;
}

} // namespace

TEST(SettingsCrash, KilledAtAnyMomentLeavesAWholeFile)
{
    int argc = 1;
    char name[] = "faults_settings_crash";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("VXTools.ini"));

    std::mt19937 random(20261207);
    int lastRound = 0;
    int kills = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
    for (int i = 0; i < 60 && std::chrono::steady_clock::now() < deadline; ++i) {
        int out = -1;
        const pid_t pid = StartWriter(path, out);
        ASSERT_GT(pid, 0) << "VX_SETTINGS_WRITER not runnable";
        char ready[8] = {};
        ASSERT_GT(read(out, ready, sizeof ready), 0) << "the writer did not start";
        close(out);
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 40000));
        // A hard kill and a crash signal, by turns.
        const int signal = i % 2 == 0 ? SIGKILL : SIGSEGV;
        ASSERT_EQ(kill(pid, signal), 0);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        // Under a sanitizer its own handler reports the crash signal and
        // exits; either way the writer ended in the middle of its work.
        ASSERT_TRUE(WIFSIGNALED(status) || (signal == SIGSEGV && WIFEXITED(status)));
        ++kills;

        if (!QFile::exists(path))
            continue; // killed before its first file was in place
        int round = 0;
        ASSERT_TRUE(WholeFile(path, round)) << "after kill " << i;
        // Each writer starts again from round 1; within one writer's life a
        // file never goes back to an older round than a reader has seen.
        lastRound = round;
    }
    EXPECT_GT(kills, 10);
    EXPECT_GT(lastRound, 0) << "no file was ever written";
}
