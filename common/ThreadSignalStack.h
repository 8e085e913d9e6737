// An alternate signal stack for the thread that creates this guard, for as
// long as the guard lives. Threads do not inherit one, and without it a stack
// overflow cannot run the program's crash handler at all: the kernel has no
// stack left to run it on and ends the process without a dump or a message.
//
// Every thread body the program (or a plug-in) starts declares one first:
//     void Worker::run() { vx::ThreadSignalStack signalStack; ... }
// Header-only, because the program and each plug-in are separate libraries
// and the guard keeps no state beyond its own thread.
#pragma once

#include <cstddef>
#include <signal.h>
#include <sys/mman.h>

namespace vx {

class ThreadSignalStack
{
public:
    // Room for the crash handler, which formats the message, forks the dump
    // writer (which runs on a copy of this stack) and waits for it.
    static constexpr std::size_t kSize = 256 * 1024;

    ThreadSignalStack()
    {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
            return;   // the thread has one already (e.g. from a sanitizer runtime): keep it
        void* memory = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED)
            return;
        stack_t st{};
        st.ss_sp = memory;
        st.ss_size = kSize;
        if (sigaltstack(&st, nullptr) != 0) {
            munmap(memory, kSize);
            return;
        }
        m_memory = memory;
    }

    // Takes the stack off the thread before freeing it, so a signal arriving
    // in the thread's last moments never runs on freed memory.
    ~ThreadSignalStack()
    {
        if (!m_memory)
            return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        if (sigaltstack(&off, nullptr) == 0)
            munmap(m_memory, kSize);
    }

    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

    // True when this guard installed the stack (false when the thread had
    // one before, or memory ran out).
    bool installed() const { return m_memory != nullptr; }

    // True when the calling thread has an alternate signal stack, whoever
    // installed it.
    static bool present()
    {
        stack_t current{};
        return sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE);
    }

private:
    void* m_memory = nullptr;
};

} // namespace vx
