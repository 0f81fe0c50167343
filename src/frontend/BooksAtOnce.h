// How many books convert at once, by one rule for the window and the command line: the number asked
// for (-j), else the settings' [app] jobs, else what the machine carries: one book per core this process
// may use, as far as the available memory holds kMemoryPerBook for each. Always from 1 to the worker's
// most.
#pragma once

namespace frontend {

inline constexpr long long kMemoryPerBook =
    1ll << 30;  // a browser and its merge: the corpus peaks at 712 MiB (bench/peaks.sh)

enum class BooksFrom { Asked, Settings, Machine };

struct BooksAtOnce {
    int books = 1;
    BooksFrom from = BooksFrom::Machine;
    int cores = 0;         // what the machine offered, when it decided
    long long memory = 0;  // bytes available, when it decided
};

// asked: -j, 0 when not given; configured: the settings' jobs, 0 (or less) when not set.
BooksAtOnce ChooseBooksAtOnce(int asked, int configured);
// What a machine of that many cores and that much available memory (0: unknown) carries.
int MachineBooks(int cores, long long availableMemory);

}  // namespace frontend
