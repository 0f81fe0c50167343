// One structure tree for the whole merged document: a root of its own with one Document element, each
// chapter's tree a Part of it, their parent trees one flat number tree. The pages of a chapter without a
// tree (the browser printed it untagged) become one figure each, titled by the chapter.
#pragma once

#include <cstdint>
#include <string>

#include "util/Status.h"

namespace PoDoFo {
class PdfMemDocument;
class PdfObject;
class PdfPage;
class PdfArray;
}  // namespace PoDoFo

namespace pdf {

class StructureTree {
  public:
    // Makes the structure tree of the chapter whose pages begin at firstPage (0-based) of doc part of
    // the document's; chapterRoot is the chapter's root as copied into doc, or null.
    util::Status MergeChapter(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfObject* chapterRoot, int firstPage,
                              const std::string& title);

  private:
    void Create(PoDoFo::PdfMemDocument& doc);
    void Merge(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfObject* chapterRoot, int firstPage,
               const std::string& title);
    PoDoFo::PdfArray& Nums();
    // Moves the top elements of a chapter's root below the document element, each chapter's own
    // Document element becoming a Part.
    void AdoptElements(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfObject* kids);
    void TagAsFigure(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfPage* page, const std::string& title);

    PoDoFo::PdfObject* structRoot_ = nullptr;
    PoDoFo::PdfObject* document_ = nullptr;
    int64_t nextKey_ = 0;                       // the parent tree's first free key (a PoDoFo pdf_int64)
    PoDoFo::PdfObject* figureStart_ = nullptr;  // content around an untagged page: a figure
    PoDoFo::PdfObject* figureEnd_ = nullptr;
};

}  // namespace pdf
