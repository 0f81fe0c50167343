// The paper the chapters were printed on. Chromium rounds a paper's sides (A4, 595.28 by 841.89 pt, comes
// out 595.92 by 841.92), and lays each page out from its top-left corner; the merge gives every page
// printed on the paper the paper's exact size again, from that corner.
#pragma once

namespace PoDoFo {
class PdfPage;
}

namespace pdf {

struct Paper {
    double width = 0, height = 0;  // points, orientation applied; 0: no paper was asked for

    bool Set() const { return width > 0 && height > 0; }
};

// Gives a page printed on paper (both sides within 1.5 pt of the paper's) exactly the paper's size, its
// top-left corner staying where it is; a crop box that was the whole page stays the whole page. A page of
// another size (a fixed-layout page printed at its own) stays as it is.
void FitToPaper(PoDoFo::PdfPage& page, const Paper& paper);

}  // namespace pdf
