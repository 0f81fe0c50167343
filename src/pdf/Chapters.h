// The chapters of a merged document in the order they were appended: where each begins (the page cursor
// moves on by each chapter's pages), its title, and where the browser put its elements.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/Names.h"

namespace pdf {

// A place in the merged document.
struct Place {
    int page = 0;     // 1-based
    double top = -1;  // height on the page in points; below 0: the top of the page
};

class Chapters {
  public:
    struct Chapter {
        std::string pdf;  // the chapter PDF's path
        std::string title;
        int firstPage = 0;  // 1-based, in the merged document
        Names names;        // where its elements are
    };

    // Moves the page cursor on by pages that belong to no chapter (blank pages).
    void Skip(int pages) { nextPage_ += pages; }
    // Records the next chapter, of pages pages, after the last one.
    void Add(const std::string& pdfPath, const std::string& title, int pages,
             std::map<std::string, Spot> destinations);
    // The 1-based first page of a chapter PDF in the merged document; 0 for an unknown or empty path.
    int PageOf(const std::string& pdfPath) const;
    // Where an element of a chapter is, by the fragment of a reference to it (see Names::ByFragment);
    // none when the chapter has no such element.
    std::optional<Place> Locate(const std::string& pdfPath, std::string_view fragment) const;
    // Where the destination that a link annotation of the chapter names is (see Names::ByDestination).
    std::optional<Place> LocateDestination(const std::string& pdfPath, const std::string& name) const;
    // The chapter a 1-based page of the merged document belongs to; null for none.
    const Chapter* ChapterOfPage(int page) const;
    int PageCount() const { return nextPage_ - 1; }
    const std::vector<Chapter>& InOrder() const { return chapters_; }

  private:
    const Chapter* Find(const std::string& pdfPath) const;

    int nextPage_ = 1;
    std::vector<Chapter> chapters_;
    std::map<std::string, size_t> byPdf_;  // the last chapter of each path
};

}  // namespace pdf
