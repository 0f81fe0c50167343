// Assembles the PDF of one book from its chapter PDFs: appends each chapter's pages (with its structure
// tree and the places the browser named in it), then, once all are in, rewrites the links between and
// within chapters, lays the page numbers and header over the pages, puts in the outline and the
// document's account of itself, and writes the document in one piece. One assembler per book, used by
// one thread at a time; several work at once on different books. Every operation that can fail says
// why in its Status; none throws.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/Chapters.h"
#include "pdf/Links.h"
#include "pdf/Metadata.h"
#include "pdf/Outline.h"
#include "pdf/Paper.h"
#include "util/Status.h"

namespace PoDoFo {
class PdfMemDocument;
}

namespace pdf {

class StructureTree;

// The side of a two-page spread a chapter's first page asks for.
enum class Side { Any, Left, Right, Alone };

// How the pages are shown side by side: page 1 alone, then pairs (2, 3), (4, 5)... Left to right, odd
// pages are on the right; right to left, on the left.
struct Spreads {
    bool on = false;
    bool rightToLeft = false;
};

class Assembler {
  public:
    // Also switches PoDoFo's debug output and logging off.
    explicit Assembler(std::string outputPath);
    ~Assembler();
    Assembler(const Assembler&) = delete;
    Assembler& operator=(const Assembler&) = delete;

    // The paper the chapters are printed on: the pages printed on it get its exact size (see Paper.h).
    // Applies to the chapters added after it.
    void SetPaper(const Paper& paper) { paper_ = paper; }
    // Whether the document is stored compacted (see Compactor.h); on by default. A document that cannot
    // be compacted, or whose compacted form does not check clean, is stored as merged (see Warnings).
    void SetCompaction(bool on) { compact_ = on; }
    // What the document says of itself, written with it.
    void SetMetadata(Metadata metadata) { metadata_ = std::move(metadata); }
    // Lays the pages out in spreads: the chapters added after it begin on the side they ask for, a blank
    // page put before them where they would not.
    void SetSpreads(Spreads spreads) { spreads_ = spreads; }

    // Appends the pages of a chapter PDF. A chapter that cannot be read is not appended; a failure while
    // appending it leaves the document unusable, and every later operation fails with the same reason.
    // In spreads, a blank page goes before it when its first page would fall on the wrong side (or share
    // its spread, when it asks to be alone); one also goes after a page that is alone. A chapter printed
    // on a paper of its own (a fixed-layout page) names it in own: its pages get its exact size.
    util::Status AddChapter(const std::string& pdfPath, const std::string& title, Side side = Side::Any,
                            const Paper& own = {});
    // The chapters that a blank page was put before, in order.
    const std::vector<std::string>& MovedChapters() const { return moved_; }
    // The 1-based first page of a chapter PDF in the merged document; 0 for an unknown or empty path.
    int PageOf(const std::string& pdfPath) const { return chapters_.PageOf(pdfPath); }
    // Where an element of a chapter is in the merged document, from the named destination the browser
    // wrote for it, by the fragment of a reference to it as the book writes it (percent-encoded or not,
    // in NFC or not: see Names.h); none when the chapter has no such element.
    std::optional<Place> Locate(const std::string& pdfPath, std::string_view fragment) const {
        return chapters_.Locate(pdfPath, fragment);
    }
    int PageCount() const { return chapters_.PageCount(); }

    // The link pass (see Links.h) with printed, the chapter PDF of each chapter file: in the merged
    // document when called before Write for its output path, else in the file at outputPath, which is
    // read and stored again.
    util::Status RewriteLinks(const ChapterFiles& printed, const std::atomic<bool>& cancelled,
                              const std::string& outputPath);
    // Lays sheets over the pages (see Stamps.h). On failure the pages stay without them, and the reason
    // (one sentence for the user) says why.
    util::Status Stamp(const std::string& footerPdf, const std::string& headerPdf);
    // Puts outline in place of the bookmarks that came with the chapters; when it is null, one bookmark
    // per titled chapter. On failure the document has no bookmarks, and the reason says why.
    util::Status SetOutline(const std::shared_ptr<OutlineNode>& outline);
    // Writes the merged document with its metadata to the output path and lets it go. On failure the
    // output keeps its earlier state.
    util::Status Write();

    const std::string& OutputPath() const { return outputPath_; }
    // What storing the document had to say, one sentence each: that it was stored as merged, and why.
    const std::vector<std::string>& Warnings() const { return warnings_; }

  private:
    // The document, or why there is none to work on.
    util::Status Usable() const;
    // Lets the document go, with the structure tree that points into it.
    void Release();

    std::string outputPath_;
    Paper paper_;
    bool compact_ = true;
    Metadata metadata_;
    Spreads spreads_;
    bool aloneBefore_ = false;  // the last page asked to be alone in its spread
    std::vector<std::string> moved_;
    Chapters chapters_;
    std::unique_ptr<PoDoFo::PdfMemDocument> merged_;  // null until the first chapter, which becomes it
    std::unique_ptr<StructureTree> structure_;
    util::Status broken_;  // why the document cannot be used, since a chapter failed half appended
    std::vector<std::string> warnings_;
};

}  // namespace pdf
