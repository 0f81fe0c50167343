// Compaction benchmark: compacts a PDF as the assembler does after the merge, and prints its size
// before and after and the seconds compaction took.
//
// usage: compact_bench IN.pdf OUT.pdf
#include <chrono>
#include <cstdio>
#include <string>

#include "pdf/Compactor.h"
#include "util/AtomicFile.h"
#include "util/Files.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: compact_bench IN.pdf OUT.pdf\n");
        return 2;
    }
    std::string in;
    if (!util::ReadFileBytes(argv[1], in)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::string out;
    const util::Status compacted = pdf::Compact(in, out);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!compacted) {
        std::fprintf(stderr, "%s\n", compacted.Reason().c_str());
        return 1;
    }
    if (!util::WriteFileAtomically(argv[2], out)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%zu %zu %.3f\n", in.size(), out.size(), seconds);
    return 0;
}
