// What one print of a book asks the browser for, built in one place from the book's page setup: a
// chapter on the book's paper (at most a number of pages), a cover (its first page only), a page of a
// fixed-layout chapter (its own size, nothing scaled), or a sheet of the program's own that is drawn
// over the merged pages (its given size, no margins, no background).
#pragma once

#include "browser/PrintParameters.h"
#include "engine/PageSetup.h"

namespace engine {

struct PrintJob {
    enum class Kind { Chapter, Cover, FixedLayout, Sheet };
    Kind kind = Kind::Chapter;
    int pageLimit = 0;  // Chapter: the most pages it may have; one more is printed, to tell
    double width = 0;   // FixedLayout: the viewport in CSS pixels; Sheet: the paper in inches
    double height = 0;
};

// The print parameters of a job on the paper of page.
browser::PrintParameters PrintParametersFor(const PageSetup& page, const PrintJob& job);

}  // namespace engine
