// The sheets drawn over a merged book: one band of the paper's width per page of the book, printed by
// the browser (so that any script and language gets its fonts) and laid over each page after the
// merge, where the whole book's page numbers are known. A footer with the page's number, and a header
// with the book's title.
#pragma once

#include <string>

#include "engine/PageSetup.h"

namespace engine {

// The height of a band in inches: the margin it sits in, and never so thin that its text is cut.
double BandHeight(double margin);
// An HTML document of pages bands, each band widthInches by heightInches: the page's number placed as
// setup says, or (with a title) the title, centred; the first band is empty unless setup numbers the
// first page. language names the text's language (for its fonts).
std::string StampSheet(const PageSetup& setup, int pages, double widthInches, double heightInches,
                       const std::string& title, const std::string& language);

}  // namespace engine
