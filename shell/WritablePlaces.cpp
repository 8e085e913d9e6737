#include "WritablePlaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace vx {

namespace {
const char kIniName[] = "VXTools.ini";
const char kDumpFolder[] = "debugInfo";
const char kAppFolder[] = "vxtools";
} // namespace

WritablePlaces choosePlaces(const QString& programDir, bool keepBesideProgram,
                            const QString& configHome, const QString& stateHome)
{
    WritablePlaces places;
    places.besideProgram = keepBesideProgram;
    if (keepBesideProgram) {
        places.iniPath = QDir(programDir).filePath(QLatin1String(kIniName));
        places.dumpDir = QDir(programDir).filePath(QLatin1String(kDumpFolder));
    } else {
        places.iniPath = QDir(configHome).filePath(QLatin1String(kAppFolder) + QLatin1Char('/') + QLatin1String(kIniName));
        places.shippedIniPath = QDir(programDir).filePath(QLatin1String(kIniName));
        places.dumpDir = QDir(stateHome).filePath(QLatin1String(kAppFolder) + QLatin1Char('/') + QLatin1String(kDumpFolder));
    }
    return places;
}

bool isWritableDir(const QString& dir)
{
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return false;
    // Permission bits do not tell the whole story (a read-only mount, or
    // root, who passes every permission check); creating a file does.
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".vxtools-write-probe-XXXXXX")));
    return probe.open();
}

QStringList& installedProgramDirs()
{
    // As the build configured them: "<CMAKE_INSTALL_PREFIX>/lib/vxtools" and
    // the package's "/usr/lib/vxtools".
    static QStringList dirs = {QString::fromUtf8(VX_CONFIGURED_INSTALL_DIR), QString::fromUtf8(VX_PACKAGE_INSTALL_DIR)};
    return dirs;
}

bool isInstalledDir(const QString& dir, const QStringList& installDirs)
{
    // A folder that does not exist resolves to nothing and matches nothing.
    const QString real = QFileInfo(dir).canonicalFilePath();
    if (real.isEmpty())
        return false;
    for (const QString& installDir : installDirs) {
        if (QFileInfo(installDir).canonicalFilePath() == real)
            return true;
    }
    return false;
}

QString userConfigHome()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QDir::home().filePath(QStringLiteral(".config")) : config;
}

QString userStateHome()
{
    // Qt 5 has no location for state data; the XDG default applies.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return state;
    return QDir::home().filePath(QStringLiteral(".local/state"));
}

WritablePlaces writablePlaces(const QString& programDir)
{
    const QString dir = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    // Root passes the write check on /usr/lib/vxtools: an installation's own
    // folder is never written into, whoever runs the program.
    const bool beside = !isInstalledDir(dir, installedProgramDirs()) && isWritableDir(dir);
    const WritablePlaces places = choosePlaces(dir, beside, userConfigHome(), userStateHome());
    if (!places.besideProgram)
        QDir().mkpath(QFileInfo(places.iniPath).absolutePath());
    return places;
}

QVariant iniValue(const QString& iniPath, const QString& shippedIniPath, const QString& key)
{
    const QSettings user(iniPath, QSettings::IniFormat);
    if (user.contains(key) || shippedIniPath.isEmpty())
        return user.value(key);
    const QSettings shipped(shippedIniPath, QSettings::IniFormat);
    return shipped.value(key);
}

} // namespace vx
