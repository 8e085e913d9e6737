// An ELF core file of a live process, written by a helper process (a fork of
// the crashing one) so the dump does not depend on a debugger or on the
// system-wide core_pattern. Uses raw system calls and static buffers only,
// because it runs in a child forked from a signal handler.
#pragma once

#include <sys/types.h>

namespace vx {
namespace core {

// Writes a core of process `pid` to `fd`. Every thread of `pid` is stopped
// with ptrace for the time it takes; the thread `crashTid` is written first,
// with the registers of `signalContext` (the ucontext_t given to its signal
// handler, or null) so a debugger shows the faulting instruction on top.
// When the threads cannot be traced, the memory comes from the caller's own
// address space (a fork of `pid`) and only the crashing thread is written.
// Returns 0 on success, otherwise an errno value.
int writeCore(int fd, pid_t pid, pid_t crashTid, int signo, const void* signalContext);

} // namespace core
} // namespace vx
