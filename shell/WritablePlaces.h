// Where the program keeps what it writes: the INI file and the crash-dump
// folder. Beside the program while that folder is the user's to write (a
// build tree or an unpacked copy); in the user's configuration and state
// folders when it is read-only or an installation's own folder (a package
// in /usr/lib/vxtools), whoever runs the program, root included.
//
// An INI file shipped beside an installed program (About texts and logo, a
// preset controller address for a fleet of laptops) is read beneath the
// user's file: the user's keys win, the shipped file is never written.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace vx {

struct WritablePlaces {
    QString iniPath;     // ".../VXTools.ini": read and written
    QString shippedIniPath; // "<programDir>/VXTools.ini" when iniPath lies elsewhere: read only; else empty
    QString dumpDir;     // ".../debugInfo"
    bool besideProgram;  // true: both live in the program directory
};

// The rule itself, with every input given: the program directory, whether
// files are kept beside it (writable and not an installed copy), and the
// user's configuration and state base folders (e.g. ~/.config and
// ~/.local/state).
WritablePlaces choosePlaces(const QString& programDir, bool keepBesideProgram,
                            const QString& configHome, const QString& stateHome);

// True when a file can be created in `dir` (an existing folder only).
bool isWritableDir(const QString& dir);

// The folders an installation of this build puts the program into
// ("<prefix>/lib/vxtools" for the configured install prefix and for the
// package's /usr). Tests may replace the list.
QStringList& installedProgramDirs();

// True when `dir` is one of `installDirs`, compared after resolving links.
bool isInstalledDir(const QString& dir, const QStringList& installDirs);

// The user's base folders after the XDG convention, through QStandardPaths
// where Qt knows the place ($XDG_CONFIG_HOME or ~/.config; $XDG_STATE_HOME
// or ~/.local/state).
QString userConfigHome();
QString userStateHome();

// The places for this program directory (empty: the application directory).
// The folder of a fallback INI file is created, so the first write succeeds.
WritablePlaces writablePlaces(const QString& programDir = QString());

// One INI key: from the user's file when it holds the key, else from the
// shipped file (empty path: none); an invalid QVariant when neither has it.
QVariant iniValue(const QString& iniPath, const QString& shippedIniPath, const QString& key);

} // namespace vx
