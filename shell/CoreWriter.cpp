#include "CoreWriter.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/procfs.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

namespace vx {
namespace core {

#if defined(__x86_64__)

namespace {

constexpr int kMaxThreads = 1024;
constexpr int kMaxMaps = 16384;
constexpr uint64_t kPage = 4096;
// Mappings larger than this are listed without contents: on a normal run none
// is, under sanitizers they are terabytes of shadow memory.
constexpr uint64_t kMaxMappingBytes = 1ull << 32;

struct ThreadRegs
{
    pid_t tid;
    bool seized;
    bool haveRegs;
    bool haveFp;
    user_regs_struct regs;
    user_fpregs_struct fp;
};

struct Mapping
{
    uint64_t start;
    uint64_t end;
    uint32_t flags;   // PF_R | PF_W | PF_X
    bool dumped;
};

// Static storage: the writer runs in a forked child on a small signal stack.
ThreadRegs g_threads[kMaxThreads];
int g_threadCount;
Mapping g_maps[kMaxMaps];
int g_mapCount;
char g_text[4 << 20];          // /proc/<pid>/maps
char g_auxv[4096];
size_t g_auxvSize;
char g_chunk[1 << 20];         // memory copied per read
char g_notes[kMaxThreads * 1024 + 4096];

size_t align4(size_t n) { return (n + 3) & ~size_t(3); }

bool writeAll(int fd, const void* data, size_t size, off_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = pwrite(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
        offset += n;
    }
    return true;
}

ssize_t readWhole(const char* path, char* buffer, size_t capacity)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t used = 0;
    while (used < capacity) {
        const ssize_t n = read(fd, buffer + used, capacity - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        used += size_t(n);
    }
    close(fd);
    return ssize_t(used);
}

// "/proc/<pid>/<leaf>" without snprintf.
void procPath(char* out, size_t size, pid_t pid, const char* leaf)
{
    char digits[16];
    int n = 0;
    unsigned v = unsigned(pid);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v && n < 15);
    size_t i = 0;
    const char* prefix = "/proc/";
    while (*prefix && i + 1 < size)
        out[i++] = *prefix++;
    while (n > 0 && i + 1 < size)
        out[i++] = digits[--n];
    if (i + 1 < size)
        out[i++] = '/';
    while (*leaf && i + 1 < size)
        out[i++] = *leaf++;
    out[i] = '\0';
}

bool startsWith(const char* s, const char* prefix)
{
    while (*prefix)
        if (*s++ != *prefix++)
            return false;
    return true;
}

uint64_t parseHex(const char*& p)
{
    uint64_t v = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9')
            v = v * 16 + uint64_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            v = v * 16 + uint64_t(c - 'a' + 10);
        else
            return v;
    }
}

void readMaps(pid_t pid)
{
    char path[64];
    procPath(path, sizeof path, pid, "maps");
    const ssize_t size = readWhole(path, g_text, sizeof g_text - 1);
    g_mapCount = 0;
    if (size <= 0)
        return;
    g_text[size] = '\0';
    const char* p = g_text;
    while (*p && g_mapCount < kMaxMaps) {
        const char* line = p;
        while (*p && *p != '\n')
            ++p;
        const char* lineEnd = p;
        if (*p)
            ++p;
        const char* q = line;
        Mapping m{};
        m.start = parseHex(q);
        if (*q++ != '-')
            continue;
        m.end = parseHex(q);
        if (*q++ != ' ' || lineEnd - q < 4)
            continue;
        const bool readable = q[0] == 'r';
        m.flags = (readable ? PF_R : 0) | (q[1] == 'w' ? PF_W : 0) | (q[2] == 'x' ? PF_X : 0);
        // The path, if any, is the text after the inode column.
        const char* name = lineEnd;
        int columns = 0;
        for (const char* r = q; r < lineEnd; ++r) {
            if (*r == ' ' && r + 1 < lineEnd && r[1] != ' ') {
                if (++columns == 4) {
                    name = r + 1;
                    break;
                }
            }
        }
        bool special = false;
        if (name < lineEnd) {
            special = startsWith(name, "[vvar]") || startsWith(name, "[vsyscall]")
                      || (startsWith(name, "/dev/") && !startsWith(name, "/dev/shm/") && !startsWith(name, "/dev/zero"));
        }
        m.dumped = readable && !special && m.end > m.start && (m.end - m.start) <= kMaxMappingBytes
                   && m.end < (1ull << 63);
        g_maps[g_mapCount++] = m;
    }
}

void listThreads(pid_t pid, pid_t crashTid)
{
    g_threadCount = 0;
    g_threads[g_threadCount++].tid = crashTid;
    char path[64];
    procPath(path, sizeof path, pid, "task");
    const int dir = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    char buf[8192];
    for (;;) {
        const long n = syscall(SYS_getdents64, dir, buf, sizeof buf);
        if (n <= 0)
            break;
        for (long off = 0; off < n;) {
            auto* d = reinterpret_cast<struct dirent64*>(buf + off);
            off += d->d_reclen;
            pid_t tid = 0;
            const char* s = d->d_name;
            if (*s < '0' || *s > '9')
                continue;
            while (*s >= '0' && *s <= '9')
                tid = tid * 10 + (*s++ - '0');
            if (tid != crashTid && g_threadCount < kMaxThreads)
                g_threads[g_threadCount++].tid = tid;
        }
    }
    close(dir);
}

// Stops one thread of the other process and takes its registers. A bounded
// wait: a thread stuck in the kernel must not hang the crash report.
void seize(ThreadRegs& t)
{
    if (ptrace(PTRACE_SEIZE, t.tid, nullptr, nullptr) != 0)
        return;
    t.seized = true;
    if (ptrace(PTRACE_INTERRUPT, t.tid, nullptr, nullptr) != 0)
        return;
    bool stopped = false;
    for (int i = 0; i < 300 && !stopped; ++i) {
        int status = 0;
        const pid_t r = waitpid(t.tid, &status, __WALL | WNOHANG);
        if (r == t.tid && WIFSTOPPED(status))
            stopped = true;
        else if (r < 0 && errno != EINTR)
            break;
        else if (r == 0) {
            const timespec ten{0, 10 * 1000 * 1000};
            nanosleep(&ten, nullptr);
        }
    }
    if (!stopped)
        return;
    t.haveRegs = ptrace(PTRACE_GETREGS, t.tid, nullptr, &t.regs) == 0;
    t.haveFp = ptrace(PTRACE_GETFPREGS, t.tid, nullptr, &t.fp) == 0;
}

// The crashing thread is parked in its signal handler; the debugger should
// see it where the signal struck.
void applySignalContext(ThreadRegs& t, const void* signalContext)
{
    if (!signalContext)
        return;
    const auto* uc = static_cast<const ucontext_t*>(signalContext);
    const greg_t* g = uc->uc_mcontext.gregs;
    user_regs_struct& r = t.regs;
    if (!t.haveRegs) {
        std::memset(&r, 0, sizeof r);
        r.cs = 0x33;
        r.ss = 0x2b;
    }
    r.r8 = uint64_t(g[REG_R8]);
    r.r9 = uint64_t(g[REG_R9]);
    r.r10 = uint64_t(g[REG_R10]);
    r.r11 = uint64_t(g[REG_R11]);
    r.r12 = uint64_t(g[REG_R12]);
    r.r13 = uint64_t(g[REG_R13]);
    r.r14 = uint64_t(g[REG_R14]);
    r.r15 = uint64_t(g[REG_R15]);
    r.rdi = uint64_t(g[REG_RDI]);
    r.rsi = uint64_t(g[REG_RSI]);
    r.rbp = uint64_t(g[REG_RBP]);
    r.rbx = uint64_t(g[REG_RBX]);
    r.rdx = uint64_t(g[REG_RDX]);
    r.rax = uint64_t(g[REG_RAX]);
    r.rcx = uint64_t(g[REG_RCX]);
    r.rsp = uint64_t(g[REG_RSP]);
    r.rip = uint64_t(g[REG_RIP]);
    r.eflags = uint64_t(g[REG_EFL]);
    r.orig_rax = uint64_t(-1);   // not inside a system call
    t.haveRegs = true;
    if (uc->uc_mcontext.fpregs) {
        std::memcpy(&t.fp, uc->uc_mcontext.fpregs, sizeof t.fp);
        t.haveFp = true;
    }
}

size_t putNote(size_t at, uint32_t type, const void* desc, size_t descSize)
{
    Elf64_Nhdr h{};
    h.n_namesz = 5;   // "CORE" and its terminating zero
    h.n_descsz = uint32_t(descSize);
    h.n_type = type;
    std::memcpy(g_notes + at, &h, sizeof h);
    at += sizeof h;
    std::memset(g_notes + at, 0, 8);
    std::memcpy(g_notes + at, "CORE", 5);
    at += 8;
    std::memcpy(g_notes + at, desc, descSize);
    std::memset(g_notes + at + descSize, 0, align4(descSize) - descSize);
    return at + align4(descSize);
}

size_t buildNotes(pid_t pid, int signo)
{
    size_t at = 0;
    prpsinfo_t ps{};
    ps.pr_pid = pid;
    ps.pr_sname = 'R';
    char path[64];
    procPath(path, sizeof path, pid, "comm");
    char text[256];
    ssize_t n = readWhole(path, text, sizeof text);
    for (ssize_t i = 0; i < n && i < ssize_t(sizeof ps.pr_fname) - 1 && text[i] != '\n'; ++i)
        ps.pr_fname[i] = text[i];
    procPath(path, sizeof path, pid, "cmdline");
    n = readWhole(path, text, sizeof text);
    for (ssize_t i = 0; i < n && i < ssize_t(sizeof ps.pr_psargs) - 1; ++i)
        ps.pr_psargs[i] = text[i] ? text[i] : ' ';

    for (int i = 0; i < g_threadCount; ++i) {
        const ThreadRegs& t = g_threads[i];
        if (!t.haveRegs)
            continue;
        elf_prstatus st{};
        st.pr_pid = t.tid;
        st.pr_pgrp = pid;
        if (i == 0) {
            st.pr_cursig = short(signo);
            st.pr_info.si_signo = signo;
        }
        static_assert(sizeof st.pr_reg == sizeof t.regs, "register layout");
        std::memcpy(&st.pr_reg, &t.regs, sizeof t.regs);
        st.pr_fpvalid = t.haveFp ? 1 : 0;
        at = putNote(at, NT_PRSTATUS, &st, sizeof st);
        // The process-wide notes follow the first thread, as the kernel orders them.
        if (i == 0) {
            at = putNote(at, NT_PRPSINFO, &ps, sizeof ps);
            if (g_auxvSize)
                at = putNote(at, NT_AUXV, g_auxv, g_auxvSize);
        }
        if (t.haveFp)
            at = putNote(at, NT_FPREGSET, &t.fp, sizeof t.fp);
    }
    return at;
}

bool allZero(const char* p, size_t n)
{
    const uint64_t* w = reinterpret_cast<const uint64_t*>(p);
    for (size_t i = 0; i < n / 8; ++i)
        if (w[i])
            return false;
    return true;
}

// Copies one mapping page-run by page-run; pages that read as zeros (or not at
// all) stay holes in the file, so untouched heap costs no disk space.
bool copyMapping(int fd, int mem, const Mapping& m, off_t fileOffset)
{
    for (uint64_t addr = m.start; addr < m.end;) {
        const size_t want = size_t(m.end - addr < sizeof g_chunk ? m.end - addr : sizeof g_chunk);
        ssize_t got = pread(mem, g_chunk, want, off_t(addr));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            addr += kPage;   // an unreadable page: leave a hole and go on
            continue;
        }
        for (size_t off = 0; off < size_t(got); off += kPage) {
            const size_t len = size_t(got) - off < kPage ? size_t(got) - off : kPage;
            if (allZero(g_chunk + off, len))
                continue;
            if (!writeAll(fd, g_chunk + off, len, fileOffset + off_t(addr - m.start + off)))
                return false;
        }
        addr += uint64_t(got);
    }
    return true;
}

} // namespace

int writeCore(int fd, pid_t pid, pid_t crashTid, int signo, const void* signalContext)
{
    listThreads(pid, crashTid);
    bool traced = false;
    for (int i = 0; i < g_threadCount; ++i) {
        seize(g_threads[i]);
        traced = traced || g_threads[i].haveRegs;
    }
    if (!traced)
        g_threadCount = 1;   // only the registers the signal handed over are known
    applySignalContext(g_threads[0], signalContext);

    // Without the tracer's right to read the other process, this fork's own
    // copy of the address space is the next best thing.
    const pid_t memPid = traced ? pid : pid_t(syscall(SYS_getpid));
    char path[64];
    procPath(path, sizeof path, pid, "auxv");
    const ssize_t auxv = readWhole(path, g_auxv, sizeof g_auxv);
    g_auxvSize = auxv > 0 ? size_t(auxv) : 0;
    readMaps(memPid);
    procPath(path, sizeof path, memPid, "mem");
    const int mem = open(path, O_RDONLY | O_CLOEXEC);

    const size_t notesSize = buildNotes(pid, signo);
    const int phnum = 1 + g_mapCount;
    const off_t notesOffset = off_t(sizeof(Elf64_Ehdr) + size_t(phnum) * sizeof(Elf64_Phdr));
    off_t dataOffset = off_t((uint64_t(notesOffset) + notesSize + kPage - 1) & ~(kPage - 1));

    Elf64_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS64;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_ident[EI_OSABI] = ELFOSABI_NONE;
    eh.e_type = ET_CORE;
    eh.e_machine = EM_X86_64;
    eh.e_version = EV_CURRENT;
    eh.e_phoff = sizeof(Elf64_Ehdr);
    eh.e_ehsize = sizeof(Elf64_Ehdr);
    eh.e_phentsize = sizeof(Elf64_Phdr);
    eh.e_phnum = uint16_t(phnum);
    int result = 0;
    if (!writeAll(fd, &eh, sizeof eh, 0))
        result = errno ? errno : EIO;

    Elf64_Phdr note{};
    note.p_type = PT_NOTE;
    note.p_offset = uint64_t(notesOffset);
    note.p_filesz = notesSize;
    note.p_align = 4;
    off_t at = off_t(sizeof eh);
    if (!result && !writeAll(fd, &note, sizeof note, at))
        result = errno ? errno : EIO;
    at += off_t(sizeof note);

    off_t segmentOffset = dataOffset;
    for (int i = 0; i < g_mapCount && !result; ++i) {
        const Mapping& m = g_maps[i];
        Elf64_Phdr ph{};
        ph.p_type = PT_LOAD;
        ph.p_flags = m.flags;
        ph.p_offset = uint64_t(segmentOffset);
        ph.p_vaddr = m.start;
        ph.p_memsz = m.end - m.start;
        ph.p_filesz = m.dumped ? ph.p_memsz : 0;
        ph.p_align = kPage;
        if (!writeAll(fd, &ph, sizeof ph, at))
            result = errno ? errno : EIO;
        at += off_t(sizeof ph);
        segmentOffset += off_t(ph.p_filesz);
    }
    if (!result && !writeAll(fd, g_notes, notesSize, notesOffset))
        result = errno ? errno : EIO;

    segmentOffset = dataOffset;
    for (int i = 0; i < g_mapCount && !result; ++i) {
        const Mapping& m = g_maps[i];
        if (!m.dumped)
            continue;
        if (mem >= 0 && !copyMapping(fd, mem, m, segmentOffset))
            result = errno ? errno : EIO;
        segmentOffset += off_t(m.end - m.start);
    }
    // Trailing holes still belong to the file.
    if (!result && ftruncate(fd, segmentOffset) != 0)
        result = errno;
    if (mem >= 0)
        close(mem);

    for (int i = 0; i < g_threadCount; ++i)
        if (g_threads[i].seized)
            ptrace(PTRACE_DETACH, g_threads[i].tid, nullptr, nullptr);
    return result;
}

#else

int writeCore(int, pid_t, pid_t, int, const void*)
{
    return ENOSYS;   // the register layout is written for x86-64 only
}

#endif

} // namespace core
} // namespace vx
