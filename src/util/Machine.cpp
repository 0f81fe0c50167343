#include "util/Machine.h"

#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace util {

int UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

long long AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        long long kib = 0;
        if (std::sscanf(line.c_str(), "MemAvailable: %lld kB", &kib) == 1)
            return kib * 1024;
    }
    return 0;
}

}  // namespace util
