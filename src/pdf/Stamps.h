// Sheets laid over the pages of the merged document: the page numbers and the running header, printed
// by the browser once the whole book's pages are counted, one band per page of the book.
#pragma once

#include <string>

#include "util/Status.h"

namespace PoDoFo {
class PdfMemDocument;
}

namespace pdf {

// Lays the sheets over the pages of doc: PDFs of one page per page of doc (either path may be empty),
// the footer's on each page's foot and the header's on its head, centred across, marked as pagination
// (outside the text a reader reads out). A sheet that cannot be read or laid, or that has another count
// of pages, leaves the pages without sheets; the reason says why.
util::Status LayStamps(PoDoFo::PdfMemDocument& doc, const std::string& footerPdf,
                       const std::string& headerPdf);

}  // namespace pdf
