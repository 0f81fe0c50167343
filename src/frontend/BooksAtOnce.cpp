#include "frontend/BooksAtOnce.h"

#include <algorithm>

#include "engine/ConversionWorker.h"
#include "util/Machine.h"

namespace frontend {

int MachineBooks(int cores, long long availableMemory) {
    // Measured on 2 cores (bench/README.md): a batch is fastest with one or two books per core's worth
    // of browsers; more only share the cores and add memory.
    long long books = cores < 1 ? 1 : cores;
    if (availableMemory > 0)
        books = std::min(books, availableMemory / kMemoryPerBook);
    return static_cast<int>(std::clamp<long long>(books, 1, engine::ConversionWorker::kMaxThreads));
}

BooksAtOnce ChooseBooksAtOnce(int asked, int configured) {
    constexpr int most = engine::ConversionWorker::kMaxThreads;
    if (asked >= 1)
        return {std::min(asked, most), BooksFrom::Asked};
    if (configured >= 1)
        return {std::min(configured, most), BooksFrom::Settings};
    BooksAtOnce chosen{1, BooksFrom::Machine, util::UsableCores(), util::AvailableMemory()};
    chosen.books = MachineBooks(chosen.cores, chosen.memory);
    return chosen;
}

}  // namespace frontend
