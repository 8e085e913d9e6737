#include "WritablePlaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace vx {

namespace {
const char kIniName[] = "VXTools.ini";
const char kDumpFolder[] = "debugInfo";
const char kAppFolder[] = "vxtools";
} // namespace

WritablePlaces choosePlaces(const QString& programDir, bool programDirWritable,
                            const QString& configHome, const QString& stateHome)
{
    WritablePlaces places;
    places.besideProgram = programDirWritable;
    if (programDirWritable) {
        places.iniPath = QDir(programDir).filePath(QLatin1String(kIniName));
        places.dumpDir = QDir(programDir).filePath(QLatin1String(kDumpFolder));
    } else {
        places.iniPath = QDir(configHome).filePath(QLatin1String(kAppFolder) + QLatin1Char('/') + QLatin1String(kIniName));
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
    const WritablePlaces places = choosePlaces(dir, isWritableDir(dir), userConfigHome(), userStateHome());
    if (!places.besideProgram)
        QDir().mkpath(QFileInfo(places.iniPath).absolutePath());
    return places;
}

} // namespace vx
