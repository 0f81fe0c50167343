// Where the browser put the elements of a chapter. It writes a named destination for every element a
// link could point at (catalog /Dests: element id -> [page /XYZ left top zoom]); the merge reads them off
// each chapter as it appends it, and the book's bookmarks and links land by them.
#pragma once

#include <map>
#include <string>

#include "util/Status.h"

namespace PoDoFo {
class PdfMemDocument;
}

namespace pdf {

// Where an element is within its chapter.
struct Spot {
    int page = 0;  // 0-based within the chapter
    double top = -1;
};

// The named destinations of a chapter, by element id, taken out of it: in the merged document their
// names would send any chapter's links to the first chapter's elements, and every bookmark and link
// gets an explicit destination instead. Entries that are not a page and a height are passed over.
util::Status TakeDestinations(PoDoFo::PdfMemDocument& chapter, std::map<std::string, Spot>& spots);

}  // namespace pdf
