// An export that fails part-way (the disk fills, the folder is read-only)
// tells the user and leaves whatever file was there before as it was.
#include "ScopePageSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace scopetest;

namespace {

// Files beyond this size cannot be written by this process: the disk is
// "full" once an export has written this much.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        // Beyond the limit, writes fail with EFBIG instead of a signal.
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit now = m_old;
        now.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &now) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// Takes from this thread the capabilities that let the super-user write
// where the permissions forbid it, so a read-only folder binds a test run as
// root too; gives them back at the end of the scope.
class FilePermissionsBind
{
public:
    FilePermissionsBind()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_ok = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~FilePermissionsBind()
    {
        if (m_ok)
            syscall(SYS_capset, &m_header, m_saved);
    }
    bool ok() const { return m_ok; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_ok = false;
};

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class ExportSafety : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        page = std::make_unique<VXPlugin_Scope>();
        page->setCollectorEnabled(false);
        page->setLinkCalls(link.calls());
        page->messageBox = [this](QMessageBox::Icon, const QString& title, const QString& text) {
            messages.push_back(title + QLatin1Char('|') + text);
        };
        page->saveFileDialog = [this](QWidget*, const QString&, const QString&, const QString&) { return target; };
        // Six joints on six quantities, 5,000 rows: an export of several MB.
        ASSERT_TRUE(chooseThirtySixChannels(page->settingDialog()));
        page->OnStartScope();
        for (int batch = 0; batch < 50; ++batch) {
            std::vector<_ST_ReadScopeData> rows;
            for (int i = 0; i < 100; ++i)
                rows.push_back(row(batch * 100 + i, 1000.123 + batch));
            link.queueBatch(std::move(rows));
            page->readScopeOnce();
        }
        page->feedPlot();
        page->OnStopScope();
    }

    QStringList FilesInFolder() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
    FakeLink link;
    std::unique_ptr<VXPlugin_Scope> page;
    QString target;
    QStringList messages;
};

TEST_F(ExportSafety, ASoundExportIsLargeEnoughToBeCutByTheLimit)
{
    target = dir.filePath(QStringLiteral("whole.csv"));
    page->slotExportScopeFile();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(QFileInfo(target).size(), 1 << 20);
}

TEST_F(ExportSafety, DiskFullHalfWayKeepsTheOldFileAndWarns)
{
    target = dir.filePath(QStringLiteral("run.csv"));
    const QByteArray good = "time,J1 Actual ACS_0_2_ACS(deg)\n0.000,1.000\n";
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(good);
    }
    {
        FileSizeLimit full(256 * 1024);
        ASSERT_TRUE(full.ok());
        page->slotExportScopeFile();
    }
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Warning|ERROR:"))) << messages[0].toStdString();
    EXPECT_EQ(ReadAll(target), good) << "the good file was replaced";
    EXPECT_EQ(FilesInFolder(), QStringList{QStringLiteral("run.csv")}) << "a partial file was left behind";
}

TEST_F(ExportSafety, DiskFullHalfWayWithoutAnOldFileLeavesNoFile)
{
    target = dir.filePath(QStringLiteral("new.csv"));
    {
        FileSizeLimit full(100 * 1024);
        ASSERT_TRUE(full.ok());
        page->slotExportScopeFile();
    }
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Warning|ERROR:")));
    EXPECT_TRUE(FilesInFolder().isEmpty()) << FilesInFolder().join(QLatin1Char(' ')).toStdString();

    // With room again the same export succeeds.
    messages.clear();
    page->slotExportScopeFile();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_GT(QFileInfo(target).size(), 1 << 20);
}

TEST_F(ExportSafety, ReadOnlyFolderKeepsTheOldFileAndWarns)
{
    const QString sub = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(sub));
    target = sub + QStringLiteral("/run.csv");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    ASSERT_EQ(chmod(QFile::encodeName(sub).constData(), 0555), 0);
    {
        FilePermissionsBind bind;
        ASSERT_TRUE(bind.ok());
        // The folder really is closed to this thread now.
        QFile probe(sub + QStringLiteral("/probe"));
        ASSERT_FALSE(probe.open(QIODevice::WriteOnly));
        page->slotExportScopeFile();
    }
    chmod(QFile::encodeName(sub).constData(), 0755);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Warning|ERROR:")));
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
}

TEST_F(ExportSafety, FolderRemovedBeforeTheExportWarnsAndCreatesNothing)
{
    const QString sub = dir.filePath(QStringLiteral("gone"));
    ASSERT_TRUE(QDir().mkdir(sub));
    target = sub + QStringLiteral("/run.csv");
    ASSERT_TRUE(QDir(sub).removeRecursively());
    page->slotExportScopeFile();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Warning|ERROR:")));
    EXPECT_FALSE(QFileInfo::exists(sub));
}
