// What the merged document says of itself: the information dictionary, an XMP packet (Dublin Core, the
// producer and the dates), the catalog's language, the title shown in the viewer's title bar, page
// labels 1, 2, 3... as the pages are numbered, and how a viewer lays the pages out: two at a time, the
// first alone (/PageLayout /TwoPageRight), or one after another in a column that scrolls (/OneColumn),
// and from right to left (/ViewerPreferences /Direction /R2L); and, when it has bookmarks, that it
// opens with them shown.
#pragma once

#include <string>
#include <vector>

#include "util/Status.h"

namespace PoDoFo {
class PdfMemDocument;
}

namespace pdf {

enum class PageLayout { ViewersOwn, OneColumn, TwoPages };

struct Metadata {
    std::string title;
    std::string author;                 // the information dictionary's Author: every creator in one text
    std::string creator;                // the application that made the document (Creator)
    std::string producer;               // and the one that wrote the PDF (Producer, XMP's CreatorTool)
    std::string language;               // the document's /Lang; empty: none
    std::vector<std::string> creators;  // for XMP, each its own
    std::string identifier, date;
    PageLayout layout = PageLayout::ViewersOwn;  // TwoPages: page 1 alone, then two side by side
    bool rightToLeft = false;                    // the pages progress from right to left
};

// Writes metadata into doc (after its outline, which decides how it opens).
util::Status Describe(PoDoFo::PdfMemDocument& doc, const Metadata& metadata);

}  // namespace pdf
