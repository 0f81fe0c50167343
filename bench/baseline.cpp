// The floor under one book's conversion: the given chapter files printed by one Chromium in one page
// with the print parameters of a conversion, and nothing else (no unpacking, no merging). Prints the
// wall time from start to the last chapter's PDF.
//
// usage: baseline [--no-intercept] BROWSER OUTPUT_FOLDER CHAPTER...
// With --no-intercept the pages' requests are not paused for the request policy.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "browser/Browser.h"
#include "util/Format.h"

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
        std::shared_ptr<browser::Browser> browser;
        std::unique_ptr<browser::Page> page;
        browser::PageOptions options;
        options.bookFolder = "/";
        options.interceptRequests = intercept;
        util::Status ready = browser::Browser::Start(argv[1], {}, browser);
        if (ready)
            ready = browser->NewPage(options, page);
        if (!ready) {
            std::fprintf(stderr, "baseline: no browser page: %s\n", ready.Reason().c_str());
            return 1;
        }
        for (int i = 3; i < argc; ++i) {
            std::string pdf;
            if (!page->Navigate(argv[i]) || !page->PrintToPdf(browser::PrintParameters{}, pdf))
                continue;
            std::ofstream file(util::FormatString("%s/%d.pd_", argv[2], i - 2), std::ios::binary);
            if (file.write(pdf.data(), static_cast<std::streamsize>(pdf.size())))
                ++printed;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %d\n", seconds, printed);
    return printed == argc - 3 ? 0 : 1;
}
