// What this machine offers the process: usable cores and available memory.
#pragma once

#include <string>
#include <string_view>

namespace util {

// The processors this process may run on (its affinity mask), at least 1.
int UsableCores();
// MemAvailable of /proc/meminfo in bytes; 0 when it cannot be read.
long long AvailableMemory();

}  // namespace util
