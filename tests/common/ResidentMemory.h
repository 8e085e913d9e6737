// Resident memory of this process, for the benchmarks and long runs that
// report how memory behaves while the scope fills its window.
#pragma once

#include <cstdio>
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

} // namespace vxtest
