// Where the program keeps what it writes: the INI file and the crash-dump
// folder. Beside the program while that folder is writable (a build tree or
// an unpacked copy); in the user's configuration and state folders when it
// is not (an installed package).
#pragma once

#include <QString>

namespace vx {

struct WritablePlaces {
    QString iniPath;     // ".../VXTools.ini"
    QString dumpDir;     // ".../debugInfo"
    bool besideProgram;  // true: both live in the program directory
};

// The rule itself, with every input given: the program directory, whether
// it is writable, and the user's configuration and state base folders
// (e.g. ~/.config and ~/.local/state).
WritablePlaces choosePlaces(const QString& programDir, bool programDirWritable,
                            const QString& configHome, const QString& stateHome);

// True when a file can be created in `dir` (an existing folder only).
bool isWritableDir(const QString& dir);

// The user's base folders after the XDG convention, through QStandardPaths
// where Qt knows the place ($XDG_CONFIG_HOME or ~/.config; $XDG_STATE_HOME
// or ~/.local/state).
QString userConfigHome();
QString userStateHome();

// The places for this program directory (empty: the application directory).
// The folder of a fallback INI file is created, so the first write succeeds.
WritablePlaces writablePlaces(const QString& programDir = QString());

} // namespace vx
