// Resident memory and CPU time of this process, for the benchmarks and long
// runs that report how memory and CPU behave while the scope fills its window.
#pragma once

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace vxtest {

inline double residentMegabytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

// User and system CPU time of this process so far, in seconds.
inline double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace vxtest
