// Compaction benchmark: compacts a PDF as the assembler does after the merge, and prints its size
// before and after, the seconds compaction took (with the check of what it made), and the seconds the
// check of the compacted and of the merged document take alone (what qpdf --check does, in process).
//
// usage: compact_bench IN.pdf OUT.pdf   prints: bytes in, bytes out, compaction s, check of OUT s, check of
//                                      IN s
#include <chrono>
#include <cstdio>
#include <string>

#include "pdf/Check.h"
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
    const auto timed = [](std::string_view pdf) {
        const auto from = std::chrono::steady_clock::now();
        const util::Status sound = pdf::CheckDocument(pdf);
        if (!sound)
            std::fprintf(stderr, "%s\n", sound.Reason().c_str());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    };
    const double checkCompacted = timed(out);
    const double checkMerged = timed(in);
    std::printf("%zu %zu %.3f %.3f %.3f\n", in.size(), out.size(), seconds, checkCompacted, checkMerged);
    return 0;
}
