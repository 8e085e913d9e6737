// Crash dumps: a program that installs the shell's handler crashes on purpose
// (on its main thread, on another thread, by stack overflow on the main
// thread, on a plain thread and on the scope's collector thread, by abort); the
// dump must be an ELF core with the crashing thread first, gdb must show the
// faulting function, and the message program must get the title and text.
#include "ChildProcess.h"
#include "CrashDump.h"
#include "ThreadSignalStack.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <sstream>
#include <sys/procfs.h>
#include <thread>
#include <unistd.h>

namespace {

std::string binDir()
{
    const char* dir = std::getenv("VX_TEST_BIN");
    return dir ? dir : "";
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CoreInfo
{
    bool valid = false;
    std::vector<pid_t> threads;   // NT_PRSTATUS in file order
    int firstSignal = 0;
    int loads = 0;
    bool hasAuxv = false;
};

CoreInfo readCore(const std::string& path)
{
    CoreInfo info;
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr eh{};
    if (!in.read(reinterpret_cast<char*>(&eh), sizeof eh))
        return info;
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_type != ET_CORE || eh.e_machine != EM_X86_64)
        return info;
    std::vector<Elf64_Phdr> ph(eh.e_phnum);
    in.seekg(std::streamoff(eh.e_phoff));
    in.read(reinterpret_cast<char*>(ph.data()), std::streamsize(ph.size() * sizeof(Elf64_Phdr)));
    for (const Elf64_Phdr& p : ph) {
        if (p.p_type == PT_LOAD)
            ++info.loads;
        if (p.p_type != PT_NOTE)
            continue;
        std::string notes(p.p_filesz, '\0');
        in.seekg(std::streamoff(p.p_offset));
        in.read(&notes[0], std::streamsize(notes.size()));
        size_t at = 0;
        while (at + sizeof(Elf64_Nhdr) <= notes.size()) {
            Elf64_Nhdr nh;
            std::memcpy(&nh, notes.data() + at, sizeof nh);
            at += sizeof nh + ((nh.n_namesz + 3) & ~3u);
            if (at + nh.n_descsz > notes.size())
                return info;
            if (nh.n_type == NT_PRSTATUS && nh.n_descsz == sizeof(elf_prstatus)) {
                elf_prstatus st;
                std::memcpy(&st, notes.data() + at, sizeof st);
                if (info.threads.empty())
                    info.firstSignal = st.pr_cursig;
                info.threads.push_back(st.pr_pid);
            }
            if (nh.n_type == NT_AUXV)
                info.hasAuxv = true;
            at += (nh.n_descsz + 3) & ~3u;
        }
    }
    info.valid = true;
    return info;
}

pid_t crashTid(const std::string& output)
{
    const auto at = output.find("crash-tid ");
    return at == std::string::npos ? 0 : pid_t(std::atol(output.c_str() + at + 10));
}

// gdb's frame lines ("#0  ...", "#1  ..."), innermost first.
std::vector<std::string> frameLines(const std::string& gdbOutput)
{
    std::vector<std::string> lines;
    std::istringstream in(gdbOutput);
    for (std::string line; std::getline(in, line);)
        if (line.size() > 1 && line[0] == '#' && std::isdigit(static_cast<unsigned char>(line[1])))
            lines.push_back(line);
    return lines;
}

// Only the victim's own noinline functions are named: what the C library's
// frames are called depends on its version and symbols, and the compiler may
// inline or tail-call anything else.
struct CrashCase
{
    const char* mode;
    int signal;
    const char* top;     // the function of frame #0, or nullptr (inside a library)
    const char* below;   // a function of a later frame, or nullptr
    size_t minThreads;
    const char* thread = nullptr;   // the crashing thread's name, where it matters
};

class CrashDump : public ::testing::TestWithParam<CrashCase>
{
};

TEST_P(CrashDump, WritesCoreAndShowsMessage)
{
    const CrashCase c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string dump = dir.filePath("debugInfo/VXTools_5.1.82.22_2020_06_01_09_30_05.dmp").toStdString();
    ASSERT_TRUE(QDir().mkpath(dir.filePath("debugInfo")));
    // The message program stands in for the dialog: it records what it was given.
    const std::string box = dir.filePath("box.sh").toStdString();
    const std::string said = dir.filePath("said.txt").toStdString();
    {
        std::ofstream script(box);
        script << "#!/bin/sh\nprintf '%s\\n--\\n%s' \"$1\" \"$2\" > '" << said << "'\n";
    }
    ASSERT_EQ(chmod(box.c_str(), 0755), 0);

    const std::string victim = binDir() + "/vx_crash_victim";
    std::string mode = c.mode;
    std::replace(mode.begin(), mode.end(), '_', '-');
    const ChildResult r = runChild({victim, dump, box, mode}, 90000);
    ASSERT_TRUE(r.started);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.termSignal, c.signal) << "exit code " << r.exitCode;
    const pid_t tid = crashTid(r.output);
    ASSERT_GT(tid, 0) << r.output;
    if (c.thread) {
        EXPECT_NE(r.output.find(std::string("crash-thread ") + c.thread + "\n"), std::string::npos) << r.output;
    }

    // The main thread also waits in the event loop, so on a thread crash it
    // must be in the dump as a second thread.
    const CoreInfo core = readCore(dump);
    ASSERT_TRUE(core.valid);
    ASSERT_FALSE(core.threads.empty());
    EXPECT_EQ(core.threads.front(), tid);
    EXPECT_EQ(core.firstSignal, c.signal);
    EXPECT_GE(core.threads.size(), c.minThreads);
    EXPECT_GT(core.loads, 10);
    EXPECT_TRUE(core.hasAuxv);

    std::string expected = "dump files\n--\nVXTools broken\xEF\xBC\x81\ndump information " + dump + "\xE3\x80\x82";
    EXPECT_EQ(readFile(said), expected);

    if (access("/usr/bin/gdb", X_OK) == 0) {
        const ChildResult g = runChild({"/usr/bin/gdb", "-nx", "-batch", "-ex", "bt 12", victim, dump}, 90000);
        ASSERT_FALSE(g.timedOut);
        const std::vector<std::string> frames = frameLines(g.output);
        ASSERT_GE(frames.size(), 2u) << g.output;
        if (c.top) {
            EXPECT_NE(frames[0].find(c.top), std::string::npos) << g.output;
        }
        if (c.below) {
            EXPECT_TRUE(std::any_of(frames.begin() + 1, frames.end(),
                                    [&](const std::string& f) { return f.find(c.below) != std::string::npos; }))
                << g.output;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CrashDump,
    ::testing::Values(CrashCase{"gui", SIGSEGV, "vx_victim_fault_here", nullptr, 2},
                      CrashCase{"thread", SIGSEGV, "vx_victim_fault_here", nullptr, 2},
                      CrashCase{"overflow", SIGSEGV, nullptr, "vx_victim_recurse", 1},
                      CrashCase{"thread_overflow", SIGSEGV, nullptr, "vx_victim_recurse", 2},
                      CrashCase{"collector_overflow", SIGSEGV, nullptr, "vx_victim_recurse", 2,
                                "DataCollector"},
                      CrashCase{"abort", SIGABRT, nullptr, "vx_victim_abort_here", 1}),
    [](const ::testing::TestParamInfo<CrashCase>& info) { return std::string(info.param.mode); });

// The guard every thread body opens with: the thread has a signal stack while
// it lives and gives it back at the end; a stack the thread already had (a
// sanitizer runtime installs its own) is left alone.
TEST(CrashDumpThreadStack, LivesAsLongAsTheGuard)
{
    bool before = true, inside = false, installed = false, after = true;
    std::thread worker([&] {
        before = vx::ThreadSignalStack::present();
        {
            vx::ThreadSignalStack guard;
            inside = vx::ThreadSignalStack::present();
            installed = guard.installed();
        }
        after = vx::ThreadSignalStack::present();
    });
    worker.join();
    EXPECT_TRUE(inside);
    EXPECT_EQ(installed, !before);
    EXPECT_EQ(after, before);
}

TEST(CrashDumpFailure, NoFolderStillShowsTheMessage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string dump = dir.filePath("missing/VXTools_x.dmp").toStdString();
    const std::string box = dir.filePath("box.sh").toStdString();
    const std::string said = dir.filePath("said.txt").toStdString();
    {
        std::ofstream script(box);
        script << "#!/bin/sh\nprintf '%s' \"$2\" > '" << said << "'\n";
    }
    ASSERT_EQ(chmod(box.c_str(), 0755), 0);
    const ChildResult r = runChild({binDir() + "/vx_crash_victim", dump, box, "gui"}, 60000);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.termSignal, SIGSEGV);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dump)));
    EXPECT_EQ(readFile(said), "VXTools broken\xEF\xBC\x81\ndump information " + dump + "\xE3\x80\x82");
}

TEST(CrashDumpPath, NamedAtStartUpInsideDebugInfo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime start(QDate(2020, 6, 1), QTime(9, 30, 5));
    const QString path = vx::crash::prepareDumpPath(dir.path(), QStringLiteral("5.1.82.22"), start);
    EXPECT_EQ(path, dir.path() + "/debugInfo/VXTools_5.1.82.22_2020_06_01_09_30_05.dmp");
    EXPECT_EQ(QString::fromUtf8(vx::crash::dumpPath()), path);
    EXPECT_TRUE(QFileInfo(dir.path() + "/debugInfo").isDir());
    // A second start in the same second names the same file; an existing
    // folder is no error.
    EXPECT_EQ(vx::crash::prepareDumpPath(dir.path(), QStringLiteral("5.1.82.22"), start), path);
}

TEST(CrashDumpPath, EmptyVersionLeavesTwoUnderscores)
{
    QTemporaryDir dir;
    const QDateTime start(QDate(2021, 12, 31), QTime(23, 59, 59));
    const QString path = vx::crash::prepareDumpPath(dir.path(), QString(), start);
    EXPECT_TRUE(path.endsWith("/debugInfo/VXTools__2021_12_31_23_59_59.dmp")) << path.toStdString();
}

TEST(CrashDumpPath, LongPathIsCutTo259Characters)
{
    const QString longPath = QString("/tmp/") + QString(400, QLatin1Char('d'));
    vx::crash::setDumpPath(longPath);
    EXPECT_EQ(std::strlen(vx::crash::dumpPath()), vx::crash::kDumpPathSize - 1);
    EXPECT_EQ(QString::fromUtf8(vx::crash::dumpPath()), longPath.left(259));
}

TEST(CrashMessage, FormatAndCut)
{
    char text[1024];
    vx::crash::formatMessage(text, sizeof text, "/opt/vx/debugInfo/a.dmp");
    EXPECT_STREQ(text, "VXTools broken\xEF\xBC\x81\ndump information /opt/vx/debugInfo/a.dmp\xE3\x80\x82");
    char small[20];
    vx::crash::formatMessage(small, sizeof small, "/x");
    EXPECT_EQ(std::strlen(small), sizeof small - 1);
    EXPECT_EQ(std::string(small), std::string("VXTools broken\xEF\xBC\x81\nd"));
}

} // namespace
