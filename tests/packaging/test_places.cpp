// Where the INI file and the dump folder go: beside the program while its
// folder is writable and not an installation's own, in the user's XDG
// folders otherwise; an INI file shipped beside an installed program is
// read beneath the user's.
#include "GuiHelpers.h"
#include "CrashDump.h"
#include "aboutdialog.h"
#include "Translation.h"
#include "VXToolsMain.h"
#include "WritablePlaces.h"

#include <QDir>
#include <QFile>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <unistd.h>

class TestPlaces : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void chooses_data();
    void chooses();
    void writableDirProbe_data();
    void writableDirProbe();
    void permissionBitsOfAnotherUser();
    void fallbackFollowsXdgVariables();
    void fallbackWithoutXdgVariablesUsesHome();
    void besideWritableProgramUnchanged();
    void mainWindowReadsAndWritesFallbackIni();
    void installedFolderKeepsNothingWhoeverRuns();
    void shippedIniBeneathUserIni();
    void dumpFolderCreatedWithParents();
    void chineseTranslationLoads();

private:
    QTemporaryDir* m_tmp = nullptr;
    QByteArray m_oldConfig, m_oldState, m_oldHome;
    QStringList m_oldInstallDirs;
};

void TestPlaces::init()
{
    m_tmp = new QTemporaryDir;
    QVERIFY(m_tmp->isValid());
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldState = qgetenv("XDG_STATE_HOME");
    m_oldHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_tmp->filePath("config")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_tmp->filePath("state")));
    m_oldInstallDirs = vx::installedProgramDirs();
}

void TestPlaces::cleanup()
{
    auto restore = [](const char* name, const QByteArray& value) {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("XDG_CONFIG_HOME", m_oldConfig);
    restore("XDG_STATE_HOME", m_oldState);
    restore("HOME", m_oldHome);
    vx::installedProgramDirs() = m_oldInstallDirs;
    shelltest::stopModalDrivers();
    delete m_tmp;
    m_tmp = nullptr;
}

void TestPlaces::chooses_data()
{
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("dumps");
    QTest::addColumn<bool>("beside");

    QTest::newRow("build tree") << QStringLiteral("/home/u/vx/build/bin") << true << QStringLiteral("/home/u/vx/build/bin/VXTools.ini")
                                << QStringLiteral("/home/u/vx/build/bin/debugInfo") << true;
    QTest::newRow("installed") << QStringLiteral("/usr/lib/vxtools") << false << QStringLiteral("/home/u/.config/vxtools/VXTools.ini")
                               << QStringLiteral("/home/u/.local/state/vxtools/debugInfo") << false;
    QTest::newRow("trailing slash") << QStringLiteral("/opt/vx/") << true << QStringLiteral("/opt/vx/VXTools.ini") << QStringLiteral("/opt/vx/debugInfo") << true;
    QTest::newRow("spaces and CJK") << QString::fromUtf8("/srv/工具 x") << false
                                    << QStringLiteral("/home/u/.config/vxtools/VXTools.ini")
                                    << QStringLiteral("/home/u/.local/state/vxtools/debugInfo") << false;
}

void TestPlaces::chooses()
{
    QFETCH(QString, programDir);
    QFETCH(bool, writable);
    QFETCH(QString, ini);
    QFETCH(QString, dumps);
    QFETCH(bool, beside);
    const vx::WritablePlaces p =
        vx::choosePlaces(programDir, writable, QStringLiteral("/home/u/.config"), QStringLiteral("/home/u/.local/state"));
    QCOMPARE(QDir::cleanPath(p.iniPath), ini);
    QCOMPARE(QDir::cleanPath(p.dumpDir), dumps);
    QCOMPARE(p.besideProgram, beside);
    // A shipped INI file is read only where the user's lies elsewhere.
    QCOMPARE(QDir::cleanPath(p.shippedIniPath), beside ? QString() : QDir::cleanPath(programDir + "/VXTools.ini"));
}

void TestPlaces::writableDirProbe_data()
{
    QTest::addColumn<QString>("relative");  // under the temporary folder; "/..." is absolute
    QTest::addColumn<bool>("writable");

    QTest::newRow("existing folder") << QStringLiteral("") << true;
    QTest::newRow("missing folder") << QStringLiteral("no-such-folder") << false;
    QTest::newRow("below a plain file") << QStringLiteral("plain/sub") << false;
    QTest::newRow("a plain file") << QStringLiteral("plain") << false;
    // Not writable even for root: the probe must create a file, not trust bits.
    QTest::newRow("read-only kernel folder") << QStringLiteral("/proc") << false;
}

void TestPlaces::writableDirProbe()
{
    QFETCH(QString, relative);
    QFETCH(bool, writable);
    QFile plain(m_tmp->filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString dir = relative.startsWith('/') ? relative : m_tmp->filePath(relative);
    QCOMPARE(vx::isWritableDir(dir), writable);
    // The probe leaves nothing behind.
    if (writable)
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestPlaces::permissionBitsOfAnotherUser()
{
    if (geteuid() == 0)
        QSKIP("root writes into read-only folders; covered by the kernel folder case");
    const QString dir = m_tmp->filePath("ro");
    QVERIFY(QDir().mkdir(dir));
    QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(!vx::isWritableDir(dir));
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestPlaces::fallbackFollowsXdgVariables()
{
    const vx::WritablePlaces p = vx::writablePlaces(QStringLiteral("/proc"));
    QVERIFY(!p.besideProgram);
    QCOMPARE(p.iniPath, m_tmp->filePath("config/vxtools/VXTools.ini"));
    QCOMPARE(p.dumpDir, m_tmp->filePath("state/vxtools/debugInfo"));
    // The INI folder exists, so the first write of the address succeeds.
    QVERIFY(QFileInfo(m_tmp->filePath("config/vxtools")).isDir());
}

void TestPlaces::fallbackWithoutXdgVariablesUsesHome()
{
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_STATE_HOME");
    qputenv("HOME", QFile::encodeName(m_tmp->filePath("home")));
    QVERIFY(QDir().mkpath(m_tmp->filePath("home")));
    const vx::WritablePlaces p = vx::writablePlaces(QStringLiteral("/proc"));
    QCOMPARE(p.iniPath, m_tmp->filePath("home/.config/vxtools/VXTools.ini"));
    QCOMPARE(p.dumpDir, m_tmp->filePath("home/.local/state/vxtools/debugInfo"));
}

void TestPlaces::besideWritableProgramUnchanged()
{
    const QString program = m_tmp->filePath("bin");
    QVERIFY(QDir().mkdir(program));
    const vx::WritablePlaces p = vx::writablePlaces(program);
    QVERIFY(p.besideProgram);
    QCOMPARE(p.iniPath, program + "/VXTools.ini");
    QCOMPARE(p.dumpDir, program + "/debugInfo");
    // Nothing is created in the user's folders for a writable program folder.
    QVERIFY(!QFileInfo::exists(m_tmp->filePath("config")));
    QVERIFY(!QFileInfo::exists(m_tmp->filePath("state")));
}

void TestPlaces::mainWindowReadsAndWritesFallbackIni()
{
    const QString ini = m_tmp->filePath("config/vxtools/VXTools.ini");
    QVERIFY(QDir().mkpath(QFileInfo(ini).absolutePath()));
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("ZPS/IP", "127.0.6.9");
        s.setValue("ZPS/PORT", 7);
        s.sync();
        QCOMPARE(s.status(), QSettings::NoError);
    }
    MainWindow window(nullptr, QStringLiteral("/proc"));
    QCOMPARE(window.iniPath(), ini);
    QCOMPARE(window.zpsAddress(), QStringLiteral("127.0.6.9"));
    QCOMPARE(window.zpsPort(), 7);
}

void TestPlaces::installedFolderKeepsNothingWhoeverRuns()
{
    // The build's own install folders are /usr/lib/vxtools and the configured prefix's.
    QVERIFY(vx::installedProgramDirs().contains(QStringLiteral("/usr/lib/vxtools")));

    // An install folder the running user may write into (root in /usr/lib/vxtools).
    const QString installed = m_tmp->filePath("usr/lib/vxtools");
    QVERIFY(QDir().mkpath(installed));
    QVERIFY(vx::isWritableDir(installed));
    vx::installedProgramDirs() = QStringList{m_tmp->filePath("usr/lib/../lib/vxtools/")};
    QVERIFY(QFile::link(installed, m_tmp->filePath("linked")));
    for (const QString& dir : {installed, m_tmp->filePath("linked")}) {
        const vx::WritablePlaces p = vx::writablePlaces(dir);
        QVERIFY2(!p.besideProgram, qPrintable(dir));
        QCOMPARE(p.iniPath, m_tmp->filePath("config/vxtools/VXTools.ini"));
        QCOMPARE(p.dumpDir, m_tmp->filePath("state/vxtools/debugInfo"));
        QCOMPARE(p.shippedIniPath, dir + "/VXTools.ini");
    }
    // Not even the write probe touched the installed folder.
    QCOMPARE(QDir(installed).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    // Another writable folder, even one inside the installed one, keeps its files beside the program.
    const QString copy = m_tmp->filePath("usr/lib/vxtools/copy");
    QVERIFY(QDir().mkpath(copy));
    QVERIFY(vx::writablePlaces(copy).besideProgram);
    QVERIFY(!vx::isInstalledDir(m_tmp->filePath("missing"), {m_tmp->filePath("missing")}));
}

void TestPlaces::shippedIniBeneathUserIni()
{
    const QString programDir = m_tmp->filePath("usr/lib/vxtools");
    QVERIFY(QDir().mkpath(programDir));
    vx::installedProgramDirs() = QStringList{programDir};
    const QString shipped = programDir + "/VXTools.ini";
    {
        QSettings s(shipped, QSettings::IniFormat);
        s.setValue("ZPS/IP", "127.0.6.9");
        s.setValue("ZPS/PORT", 7);
        s.setValue("VersionInfo/ProgramName", "Fleet service tool");
        s.setValue("VersionInfo/Copyright", "shipped copyright");
        s.sync();
        QCOMPARE(s.status(), QSettings::NoError);
    }
    auto digest = [&] {
        QFile f(shipped);
        return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
    };
    const QByteArray before = digest();
    const QString user = m_tmp->filePath("config/vxtools/VXTools.ini");

    // No user file yet: the shipped address is offered; the confirmed one goes
    // to the user's file alone.
    QString offered;
    shelltest::onNextModal([&](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP"));
        offered = edit->text();
        edit->setText(QStringLiteral("127.0.7.1"));
        modal->findChild<QPushButton*>(QStringLiteral("btn_SetZPSIP"))->click();
    });
    {
        MainWindow window(nullptr, programDir);
        QCOMPARE(window.iniPath(), user);
        QCOMPARE(window.zpsAddress(), QStringLiteral("127.0.6.9"));
        QCOMPARE(window.zpsPort(), 7);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(user), 5000);
        QCOMPARE(offered, QStringLiteral("127.0.6.9"));
    }
    QCOMPARE(QSettings(user, QSettings::IniFormat).value("ZPS/IP").toString(), QStringLiteral("127.0.7.1"));
    QCOMPARE(digest(), before);

    // The user's keys win; the shipped file fills in the rest.
    {
        QSettings s(user, QSettings::IniFormat);
        s.setValue("VersionInfo/Copyright", "");
        s.sync();
    }
    MainWindow again(nullptr, programDir);
    QCOMPARE(again.zpsAddress(), QStringLiteral("127.0.7.1"));
    AboutDialog about(again.iniPath(), nullptr, programDir);
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lb_programName"))->text(), QStringLiteral("Fleet service tool"));
    QVERIFY(about.findChild<QLabel*>(QStringLiteral("lb_copyright"))->text() != QStringLiteral("shipped copyright"));
    QCOMPARE(QVariant(), vx::iniValue(user, shipped, QStringLiteral("VersionInfo/Warning")));
    QCOMPARE(digest(), before);
}

void TestPlaces::dumpFolderCreatedWithParents()
{
    const QString dumps = m_tmp->filePath("state/vxtools/debugInfo");
    const QString name = vx::crash::prepareDumpPathIn(dumps, QStringLiteral("5.1.82.22"),
                                                      QDateTime(QDate(2020, 6, 1), QTime(9, 30, 5)));
    QVERIFY(QFileInfo(dumps).isDir());
    QCOMPARE(name, dumps + "/VXTools_5.1.82.22_2020_06_01_09_30_05.dmp");
    QCOMPARE(QString::fromUtf8(vx::crash::dumpPath()), name);
}

void TestPlaces::chineseTranslationLoads()
{
    const QString bin = qEnvironmentVariable("VX_BIN_DIR");
    QVERIFY(!bin.isEmpty());
    QTranslator zh;
    QVERIFY(vx::loadTranslation(zh, QLocale(QLocale::Chinese, QLocale::China), bin));
    const QString title = zh.translate("VXPage_ZPSIPPortConfig", "VXTools ZPS Connect");
    QVERIFY(!title.isEmpty());
    QVERIFY(title != QStringLiteral("VXTools ZPS Connect"));
    // No translation for a language that does not ship.
    QTranslator de;
    QVERIFY(!vx::loadTranslation(de, QLocale(QLocale::German, QLocale::Germany), bin));
}

QTEST_MAIN(TestPlaces)
#include "test_places.moc"
