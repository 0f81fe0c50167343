// The floor under one book's conversion: the given chapter files printed by one Chromium over one
// DevTools session with the print parameters of a conversion, and nothing else (no unpacking, no
// merging). Prints the wall time from start to the last chapter's PDF.
//
// usage: baseline [--no-intercept] BROWSER OUTPUT_FOLDER CHAPTER...
// With --no-intercept the pages' requests are not paused for the request policy.
#include <chrono>
#include <cstdio>
#include <string>

#include "browser/DevToolsClient.h"
#include "util/Utilities.h"

int main(int argc, char** argv) {
    bool intercept = true;
    if (argc > 1 && std::string(argv[1]) == "--no-intercept") {
        intercept = false;
        ++argv;
        --argc;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: baseline BROWSER OUTPUT_FOLDER CHAPTER...\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    int printed = 0;
    {
        browser::DevToolsClient client(argv[1], intercept);
        if (!client.EnableSession()) {
            std::fprintf(stderr, "baseline: no browser session\n");
            return 1;
        }
        client.SetRequestPolicy("/", false);
        for (int i = 3; i < argc; ++i) {
            const std::string pdf = util::FormatString("%s/%d.pd_", argv[2], i - 2);
            if (client.Navigate(argv[i]) && client.PrintToPdf(pdf))
                ++printed;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %d\n", seconds, printed);
    return printed == argc - 3 ? 0 : 1;
}
