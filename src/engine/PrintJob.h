// What one print of a book asks the browser for, built in one place from the book's page setup: a
// chapter on the book's paper (at most a number of pages), a cover (its first page only), a page of a
// fixed-layout chapter (its own size, nothing scaled), a chapter of a scrolled book (the paper's width,
// as tall as its content, within the largest page a PDF allows), or a sheet of the program's own that
// is drawn over the merged pages (its given size, no margins, no background).
#pragma once

#include "browser/PrintParameters.h"
#include "engine/PageSetup.h"

namespace engine {

struct PrintJob {
    enum class Kind { Chapter, Cover, FixedLayout, Scrolled, Sheet };
    Kind kind = Kind::Chapter;
    int pageLimit = 0;  // Chapter, Scrolled: the most pages it may have; one more is printed, to tell
    double width = 0;   // FixedLayout: the viewport in CSS pixels; Sheet: the paper in inches
    double height = 0;  // the same; Scrolled: the content's height in CSS pixels
};

// The largest side of a PDF page, in inches (14 400 points).
constexpr double kLargestPageInches = 200.0;

// The print parameters of a job on the paper of page.
browser::PrintParameters PrintParametersFor(const PageSetup& page, const PrintJob& job);

}  // namespace engine
