#include "pdf/Assembler.h"

#include "pdf/DocumentFile.h"
#include "pdf/Objects.h"
#include "pdf/Stamps.h"
#include "pdf/Structure.h"
#include "util/Paths.h"

namespace pdf {
namespace {

util::Status NotWritten(const util::Status& why) {
    return util::Status::Failure("the PDF could not be written: " + why.Reason());
}

// Whether a chapter's first page fits its side as page (1-based).
bool Fits(const Spreads& spreads, Side side, int page) {
    // Page 1 stands alone; then pairs begin on even pages.
    const bool onRight = (page % 2 == 1) != spreads.rightToLeft;
    switch (side) {
        case Side::Any:
            return true;
        case Side::Left:
            return !onRight;
        case Side::Right:
            return onRight;
        case Side::Alone:
            return page == 1 || page % 2 == 0;  // the next chapter keeps off the other half
    }
    return true;
}

// How many blank pages go before a chapter whose first page would be page, so that it fits its side
// and keeps off the spread of a page before it that is alone.
int BlanksBefore(const Spreads& spreads, Side side, int page, bool afterAlone) {
    if (!spreads.on)
        return 0;
    for (int blanks = 0; blanks <= 2; ++blanks) {
        const int at = page + blanks;
        if (blanks == 0 && afterAlone && at > 1 && at % 2 == 1)
            continue;
        if (Fits(spreads, side, at))
            return blanks;
    }
    return 0;
}

}  // namespace

Assembler::Assembler(std::string outputPath)
    : outputPath_(std::move(outputPath)), structure_(std::make_unique<StructureTree>()) {
    SilenceLibrary();
}

Assembler::~Assembler() = default;

util::Status Assembler::Usable() const {
    if (!broken_)
        return broken_;
    if (!merged_) {
        return util::Status::Failure(chapters_.InOrder().empty()
                                         ? "the PDF has no pages: no chapter was added"
                                         : "the PDF was written already");
    }
    return {};
}

void Assembler::Release() {
    merged_.reset();
    structure_ = std::make_unique<StructureTree>();
}

util::Status Assembler::AddChapter(const std::string& pdfPath, const std::string& title, Side side,
                                   const Paper& own) {
    if (!broken_)
        return broken_;
    if (merged_ == nullptr && !chapters_.InOrder().empty())
        return Usable();
    const auto lock = LockLibrary();
    auto chapter = std::make_unique<PoDoFo::PdfMemDocument>();
    if (util::Status loaded = ReadDocument(*chapter, pdfPath, "the chapter PDF"); !loaded)
        return loaded;
    std::map<std::string, Spot> destinations;
    int pages = 0;
    util::Status read = TakeDestinations(*chapter, destinations);
    if (read)
        read = Guarded("its pages cannot be counted", [&] { pages = chapter->GetPageCount(); });
    if (!read)
        return util::Status::Failure("the chapter PDF " + pdfPath + " cannot be read: " + read.Reason());

    const int blanks = pages > 0 ? BlanksBefore(spreads_, side, chapters_.PageCount() + 1, aloneBefore_) : 0;
    util::Status appended = Guarded("the chapter PDF " + pdfPath + " cannot be appended", [&] {
        int first = 0;  // the chapter's first page, 0-based
        PoDoFo::PdfObject* root = nullptr;
        if (!merged_) {
            merged_ = std::move(chapter);
            root = Resolve(merged_->GetObjects(),
                           merged_->GetCatalog()->GetDictionary().GetKey("StructTreeRoot"));
        } else {
            first = merged_->GetPageCount();
            // PoDoFo appends every object of the chapter with its number raised by the count of objects (and
            // free numbers) already there: the chapter's structure root is found again by that.
            PoDoFo::PdfVecObjects& objects = merged_->GetObjects();
            const auto raise = static_cast<unsigned>(objects.GetSize() + objects.GetFreeObjects().size());
            PoDoFo::PdfObject* own = chapter->GetCatalog()->GetDictionary().GetKey("StructTreeRoot");
            const bool tagged = own != nullptr && own->IsReference();
            const PoDoFo::PdfReference ref = tagged ? own->GetReference() : PoDoFo::PdfReference();
            merged_->Append(*chapter, true);
            if (tagged)
                root = objects.GetObject(
                    PoDoFo::PdfReference(ref.ObjectNumber() + raise, ref.GenerationNumber()));
        }
        for (int i = first; i < merged_->GetPageCount(); ++i)
            FitToPaper(*merged_->GetPage(i), own.Set() ? own : paper_);
        util::Status merged = structure_->MergeChapter(*merged_, root, first, title);
        for (int i = 0; merged && i < blanks; ++i)  // as large as the page they go before
            merged_->InsertPage(merged_->GetPage(first)->GetMediaBox(), first);
        return merged;
    });
    if (!appended) {
        broken_ = appended;
        Release();
        return appended;
    }
    if (blanks > 0) {
        chapters_.Skip(blanks);
        moved_.push_back(pdfPath);
    }
    if (pages > 0)
        aloneBefore_ = side == Side::Alone;
    chapters_.Add(pdfPath, title, pages, std::move(destinations));
    return {};
}

util::Status Assembler::RewriteLinks(const ChapterFiles& printed, const std::atomic<bool>& cancelled,
                                     const std::string& outputPath) {
    if (!broken_)
        return broken_;
    auto lock = LockLibrary();
    // Before Write, the links are rewritten in the merged document itself, saving a read and a write.
    if (merged_ && util::ToFullPath(outputPath) == util::ToFullPath(outputPath_))
        return pdf::RewriteLinks(*merged_, chapters_, printed, cancelled);
    auto doc = std::make_unique<PoDoFo::PdfMemDocument>();
    if (util::Status read = ReadDocument(*doc, outputPath, "the PDF"); !read)
        return read;
    if (util::Status linked = pdf::RewriteLinks(*doc, chapters_, printed, cancelled); !linked)
        return linked;
    DocumentBytes bytes;
    const util::Status serialized = Serialize(*doc, bytes);
    doc.reset();
    lock.unlock();
    if (!serialized)
        return NotWritten(serialized);
    const util::Status stored = Store(bytes.View(), outputPath, compact_, warnings_);
    return stored ? stored : NotWritten(stored);
}

util::Status Assembler::Stamp(const std::string& footerPdf, const std::string& headerPdf) {
    if (util::Status usable = Usable(); !usable)
        return usable;
    const auto lock = LockLibrary();
    return LayStamps(*merged_, footerPdf, headerPdf);
}

util::Status Assembler::SetOutline(const std::shared_ptr<OutlineNode>& outline) {
    if (util::Status usable = Usable(); !usable)
        return usable;
    const auto lock = LockLibrary();
    return WriteOutline(*merged_, outline ? *outline : *ChapterOutline(chapters_));
}

util::Status Assembler::Write() {
    if (util::Status usable = Usable(); !usable)
        return usable;
    auto lock = LockLibrary();
    DocumentBytes bytes;
    util::Status done = Describe(*merged_, metadata_);
    if (done)
        done = Serialize(*merged_, bytes);
    // The document in memory goes once its bytes are out, before compaction needs room; compaction and
    // the file are no business of PoDoFo's, and other books' merges go on meanwhile.
    Release();
    lock.unlock();
    if (done)
        done = Store(bytes.View(), outputPath_, compact_, warnings_);
    return done ? done : NotWritten(done);
}

}  // namespace pdf
