// Chapter PDFs for the assembler tests, made with the PDF library directly.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct FixtureLink {
    int page;         // 0-based page of the chapter
    std::string uri;  // URI action of the link
};

struct FixtureBookmark {
    std::string title;
    int page;  // 0-based
};

// Writes a Letter-size PDF of pageCount pages, each with the text "<label> page N", plus the links
// and bookmarks given.
void MakeChapterPdf(const std::string& path, int pageCount, const std::string& label,
                    const std::vector<FixtureLink>& links = {},
                    const std::vector<FixtureBookmark>& bookmarks = {});

}  // namespace testing_support
