// Chapter PDFs for the assembler tests, made with the PDF library directly.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct FixtureLink {
    int page;         // 0-based page of the chapter
    std::string uri;  // URI action of the link; "#name": a link to the chapter's named destination
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

}  // namespace testing_support
