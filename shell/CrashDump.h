// Crash dumps: a fatal signal in any thread writes an ELF core of the whole
// process to the dump path fixed at start-up, then a separate program shows
// the user where the dump is (no Qt widgets run inside the signal handler).
#pragma once

#include <QDateTime>
#include <QString>
#include <cstddef>

namespace vx {
namespace crash {

// The dump path buffer: at most 259 characters and a terminating zero.
constexpr size_t kDumpPathSize = 260;

// Copies `path` (UTF-8) into the process-wide dump path, cut to fit.
void setDumpPath(const QString& path);
const char* dumpPath();

// Start-up steps 2 and 3: "<appDir>/debugInfo" is created (failures ignored)
// and the dump path becomes
// "<appDir>/debugInfo/VXTools_<version>_<yyyy_MM_dd_hh_mm_ss>.dmp".
// Returns the full name as it was formed (before cutting).
QString prepareDumpPath(const QString& appDir, const QString& version, const QDateTime& startTime);

// The same with the dump folder given whole (it and any missing parents are
// created, failures ignored): used when the program directory is read-only.
QString prepareDumpPathIn(const QString& dumpDir, const QString& version, const QDateTime& startTime);

// The program that shows the message; it is started as
// `<helper> "dump files" <message>` and waited for. Empty: no message.
void setMessageProgram(const QString& path);

// Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT on an
// alternate signal stack of the calling thread, so a stack overflow there is
// caught as well. Returns false if a handler could not be installed. Other
// threads do not inherit that stack: each thread body the program or a
// plug-in starts opens with a vx::ThreadSignalStack (ThreadSignalStack.h).
bool installHandler();

// "VXTools broken！\ndump information <path>。" into `out` (cut to fit,
// always terminated). Async-signal-safe.
void formatMessage(char* out, size_t size, const char* path);

} // namespace crash
} // namespace vx
