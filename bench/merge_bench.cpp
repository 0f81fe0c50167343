// Merge benchmark: N generated chapter PDFs of 3 pages each, each linking to the next chapter, merged
// with the outline and link passes. Prints one line: chapters, pages, seconds per pass, peak memory.
//
// usage: merge_bench N [work folder]
#include <podofo/podofo.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/BookOutline.h"
#include "epub/EpubBook.h"
#include "epub/TableOfContents.h"
#include "util/Urls.h"

namespace {

void MakeChapter(const std::string& path, int chapter, const std::string& nextUrl) {
    PoDoFo::PdfMemDocument doc;
    PoDoFo::PdfFont* font = doc.CreateFont("Helvetica");
    font->SetFontSize(11);
    for (int p = 0; p < 3; ++p) {
        PoDoFo::PdfPage* page = doc.CreatePage(PoDoFo::PdfRect(0, 0, 612, 792));
        PoDoFo::PdfPainter painter;
        painter.SetPage(page);
        painter.SetFont(font);
        for (int line = 0; line < 40; ++line) {
            const std::string text = "Chapter " + std::to_string(chapter) + ", page " +
                                     std::to_string(p + 1) + ", line " + std::to_string(line + 1) +
                                     ": the quick brown fox jumps over the lazy dog.";
            painter.DrawText(72, 720 - line * 16, PoDoFo::PdfString(text.c_str()));
        }
        painter.FinishPage();
    }
    PoDoFo::PdfAnnotation* link =
        doc.GetPage(2)->CreateAnnotation(PoDoFo::ePdfAnnotation_Link, PoDoFo::PdfRect(72, 72, 200, 14));
    PoDoFo::PdfAction action(PoDoFo::ePdfAction_URI, &doc);
    action.SetURI(PoDoFo::PdfString(nextUrl.c_str()));
    link->SetAction(action);
    doc.Write(path.c_str());
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: merge_bench N [work folder]\n");
        return 2;
    }
    const int n = std::stoi(argv[1]);
    const std::string folder =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "merge-bench").string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/epub");

    std::map<std::string, std::string> chapterMap;
    std::string ncx = "<ncx><navMap>";
    std::string manifest, spine;
    for (int i = 1; i <= n; ++i) {
        const std::string chapter = folder + "/epub/ch" + std::to_string(i) + ".xhtml";
        const std::string next = folder + "/epub/ch" + std::to_string(i % n + 1) + ".xhtml";
        const std::string pdf = folder + "/" + std::to_string(i) + ".pd_";
        MakeChapter(pdf, i, util::FileUrlFromPath(next) + "#top");
        chapterMap[chapter] = pdf;
        ncx += "<navPoint><navLabel><text>Chapter " + std::to_string(i) +
               "</text></navLabel><content src=\"ch" + std::to_string(i) +
               ".xhtml\"/><navPoint><navLabel><text>Section</text></navLabel><content src=\"ch" +
               std::to_string(i) + ".xhtml#s\"/></navPoint></navPoint>";
        manifest += "<item id=\"c" + std::to_string(i) + "\" href=\"ch" + std::to_string(i) + ".xhtml\"/>";
        spine += "<itemref idref=\"c" + std::to_string(i) + "\"/>";
        std::FILE* f = std::fopen(chapter.c_str(), "w");
        std::fputs("<html/>", f);
        std::fclose(f);
    }
    ncx += "</navMap></ncx>";
    auto write = [](const std::string& path, const std::string& text) {
        std::FILE* f = std::fopen(path.c_str(), "w");
        std::fputs(text.c_str(), f);
        std::fclose(f);
    };
    write(folder + "/epub/toc.ncx", ncx);
    write(folder + "/epub/content.opf",
          "<package><manifest>" + manifest + "</manifest><spine>" + spine + "</spine></package>");

    std::atomic<bool> cancelled{false};
    const std::string output = folder + "/book.pdf";
    auto start = std::chrono::steady_clock::now();
    pdf::Assembler assembler(output);
    bool added = true;
    for (int i = 1; i <= n; ++i)
        added = assembler.AddChapter(folder + "/" + std::to_string(i) + ".pd_", "") && added;
    const double merge = Seconds(start);
    auto t = std::chrono::steady_clock::now();
    const auto book = epub::EpubBook::Load(folder + "/epub/content.opf", folder + "/epub");
    const auto toc = epub::TableOfContents::Load(folder + "/epub/toc.ncx");
    auto outline = engine::BuildOutline(assembler, *book, toc.get(), chapterMap, cancelled);
    pdf::Metadata metadata;
    metadata.title = metadata.author = metadata.creator = metadata.producer = "Bench";
    assembler.SetMetadata(metadata);
    const bool written = added && assembler.SetOutline(outline) && assembler.Write();
    const double writeAndOutline = Seconds(t);
    t = std::chrono::steady_clock::now();
    const bool linked = static_cast<bool>(assembler.RewriteLinks(chapterMap, cancelled, output));
    const double links = Seconds(t);
    const double total = Seconds(start);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "%5d chapters %5d pages  merge %.3fs  write+outline %.3fs  links %.3fs  total %.3fs  peak %ld "
        "MiB%s\n",
        n, assembler.PageCount(), merge, writeAndOutline, links, total, usage.ru_maxrss / 1024,
        written && linked ? "" : "  (FAILED)");
    std::filesystem::remove_all(folder);
    return written && linked ? 0 : 1;
}
