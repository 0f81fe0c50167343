// Chapter PDFs for the PDF library's tests (and the engine's outline tests), made with PoDoFo directly.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct FixtureLink {
    int page;  // 0-based page of the chapter
    // URI action of the link; "#name": a link to the chapter's named destination. Annotations no reader
    // can follow: "!entry", an entry of the page's annotations that is a number; "!uri", a URI action
    // whose URI is a number.
    std::string uri;
};

// A named destination as the browser writes one for an element: catalog /Dests, [page /XYZ 0 top 0].
struct FixtureAnchor {
    std::string name;
    int page;  // 0-based
    double top;
};

struct FixtureBookmark {
    std::string title;
    int page;  // 0-based
};

// Writes a Letter-size PDF of pageCount pages, each with the text "<label> page N", plus the links
// bookmarks and named destinations given.
void MakeChapterPdf(const std::string& path, int pageCount, const std::string& label,
                    const std::vector<FixtureLink>& links = {},
                    const std::vector<FixtureBookmark>& bookmarks = {},
                    const std::vector<FixtureAnchor>& anchors = {});
// Writes a PDF of one page per size (width, height in points), each with the text "page N" near its top
// (a third of the way up on a page lower than 96 pt).
void MakeSizedPdf(const std::string& path, const std::vector<std::pair<double, double>>& sizes);

// The chapters most tests merge, printed to folder/1.pd_, 2.pd_ and 3.pd_ from the files a.xhtml (3
// pages; with a bookmark of its own), "b b.xhtml" (5 pages; it names sec3 on its page 3, 400 pt high,
// and here on its page 4, 300 pt high) and c.xhtml (2 pages; note on its page 2, 500 pt high) of
// bookFolder, with the links given per chapter. Each chapter file's full path with its PDF, in order.
std::vector<std::pair<std::string, std::string>> MakeThreeChapters(
    const std::string& folder, const std::string& bookFolder,
    const std::vector<std::vector<FixtureLink>>& links = {{}, {}, {}});

}  // namespace testing_support
