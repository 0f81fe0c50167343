#include "engine/PdfAssembler.h"

#include <podofo/podofo.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>

#include "epub/ChapterDocument.h"
#include "epub/EpubBook.h"
#include "epub/TableOfContents.h"
#include "util/AtomicFile.h"
#include "util/Utilities.h"

namespace engine {
namespace {

constexpr double kDestinationZoom = 0.0;  // the reader's zoom stays

// A destination at a height of a page (the top of the page when top is below 0), at its left edge.
PoDoFo::PdfDestination At(PoDoFo::PdfPage* page, double top) {
    if (top < 0)
        top = page->GetMediaBox().GetBottom() + page->GetMediaBox().GetHeight();
    return PoDoFo::PdfDestination(page, 0.0, top, kDestinationZoom);
}

PoDoFo::PdfString Text(const std::string& utf8) {
    return PoDoFo::PdfString(reinterpret_cast<const PoDoFo::pdf_utf8*>(utf8.c_str()));
}

std::string ErrorText(const PoDoFo::PdfError& e) {
    const char* name = e.what();
    return name != nullptr ? name : "";
}

// Loads a PDF from memory: the library's file device seeks before every read, which costs more than
// the parsing itself.
// PoDoFo dates what it makes, loads, appends, annotates and writes with localtime(), whose result lives
// in one static buffer of the C library: two books assembled at once could write each other's dates.
// Every public operation of the assembler that works on a document holds this lock, across the threads
// of every job.
std::unique_lock<std::mutex> LockDates() {
    static std::mutex lock;
    return std::unique_lock(lock);
}

void Load(PoDoFo::PdfMemDocument& doc, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        PODOFO_RAISE_ERROR_INFO(PoDoFo::ePdfError_FileNotFound, path.c_str());
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    doc.LoadFromBuffer(bytes.data(), static_cast<long>(bytes.size()));
}

// Writes doc (through memory, in one piece) to a temporary file of a unique name and renames it into
// place, so that path always holds a complete file: the last successful write.
void WriteReplacing(PoDoFo::PdfMemDocument& doc, const std::string& path) {
    PoDoFo::PdfRefCountedBuffer buffer;
    PoDoFo::PdfOutputDevice device(&buffer);
    doc.Write(&device);
    util::AtomicFile file(path);
    if (!file.IsOpen())
        PODOFO_RAISE_ERROR_INFO(PoDoFo::ePdfError_FileNotFound, path.c_str());
    if (!file.Write(std::string_view(buffer.GetBuffer(), device.GetLength())) || !file.Commit()) {
        PODOFO_RAISE_ERROR_INFO(PoDoFo::ePdfError_InvalidHandle, "cannot write the output file");
    }
}

void AddNode(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfOutlines* outlines, PoDoFo::PdfOutlineItem* parent,
             const OutlineNode& node, int pageCount) {
    int p = node.page;
    double top = node.top;
    if (p < 1 || p > pageCount) {
        p = 1;
        top = -1;
    }
    PoDoFo::PdfDestination dest = At(doc.GetPage(p - 1), top);
    PoDoFo::PdfOutlineItem* item;
    if (parent == nullptr) {
        item = outlines->CreateRoot(Text(node.title));
        item->SetDestination(dest);
    } else {
        item = parent->CreateChild(Text(node.title), dest);
    }
    for (const auto& child : node.children) AddNode(doc, outlines, item, *child, pageCount);
}

}  // namespace

struct PdfAssembler::Document {
    PoDoFo::PdfMemDocument doc;
};

PdfAssembler::PdfAssembler(const std::string& outputPath) : outputPath_(outputPath) {
    PoDoFo::PdfError::EnableDebug(false);
    PoDoFo::PdfError::EnableLogging(false);
}

PdfAssembler::~PdfAssembler() = default;

bool PdfAssembler::AddChapter(const std::string& pdfPath, const std::string& title) {
    firstPage_[pdfPath] = pageCursor_;
    try {
        const auto lock = LockDates();
        if (!merged_) {
            auto first = std::make_unique<Document>();
            Load(first->doc, pdfPath);
            destinations_[pdfPath] = ReadDestinations(first->doc);
            pageCursor_ += first->doc.GetPageCount();
            merged_ = std::move(first);
        } else {
            PoDoFo::PdfMemDocument chapter;
            Load(chapter, pdfPath);
            destinations_[pdfPath] = ReadDestinations(chapter);
            pageCursor_ += chapter.GetPageCount();
            merged_->doc.Append(chapter, true);
        }
    } catch (const PoDoFo::PdfError& e) {
        throw PdfError("cannot read chapter PDF " + pdfPath + ": " + ErrorText(e));
    }
    chapterPdfs_.push_back(pdfPath);
    chapterTitles_[pdfPath] = title;
    return true;
}

std::map<std::string, PdfAssembler::Spot> PdfAssembler::ReadDestinations(PoDoFo::PdfMemDocument& doc) {
    // The browser writes a catalog /Dests dictionary: element id -> [page /XYZ left top zoom]. It is
    // read here and then goes: in the merged document its names would send any chapter's links to the
    // first chapter's elements, and every link gets an explicit destination instead.
    std::map<std::string, Spot> spots;
    PoDoFo::PdfDictionary& catalog = doc.GetCatalog()->GetDictionary();
    PoDoFo::PdfObject* dests = doc.GetCatalog()->GetIndirectKey("Dests");
    std::unique_ptr<PoDoFo::PdfObject> owned;
    if (const PoDoFo::PdfObject* key = catalog.GetKey("Dests"); key != nullptr && key->IsReference())
        owned.reset(doc.GetObjects().RemoveObject(key->GetReference()));
    catalog.RemoveKey("Dests");
    if (owned)
        dests = owned.get();
    if (dests == nullptr || !dests->IsDictionary())
        return spots;
    std::map<PoDoFo::PdfReference, int> pageIndex;
    for (int i = 0; i < doc.GetPageCount(); ++i) pageIndex[doc.GetPage(i)->GetObject()->Reference()] = i;
    for (const auto& [name, value] : dests->GetDictionary().GetKeys()) {
        const PoDoFo::PdfObject* array = value;
        if (array != nullptr && array->IsReference())
            array = doc.GetObjects().GetObject(array->GetReference());
        if (array == nullptr || !array->IsArray() || array->GetArray().size() < 4)
            continue;
        const PoDoFo::PdfArray& a = array->GetArray();
        const bool xyz = a[0].IsReference() && a[1].IsName() && a[1].GetName().GetName() == "XYZ";
        if (!xyz || !(a[3].IsNumber() || a[3].IsReal()))
            continue;
        auto page = pageIndex.find(a[0].GetReference());
        if (page == pageIndex.end())
            continue;
        spots[name.GetName()] = {page->second, a[3].GetReal()};
    }
    return spots;
}

bool PdfAssembler::Locate(const std::string& pdfPath, const std::string& fragment, int& page,
                          double& top) const {
    auto chapter = destinations_.find(pdfPath);
    if (chapter == destinations_.end())
        return false;
    auto spot = chapter->second.find(fragment);
    if (spot == chapter->second.end())
        return false;
    page = PageOf(pdfPath) + spot->second.page;
    top = spot->second.top;
    return true;
}

int PdfAssembler::PageOf(const std::string& pdfPath) const {
    if (pdfPath.empty())
        return 0;
    auto it = firstPage_.find(pdfPath);
    return it == firstPage_.end() ? 0 : it->second;
}

bool PdfAssembler::SetInfo(const std::string& title, const std::string& author,
                           const std::string& creatorText) {
    title_ = title;
    author_ = author;
    creator_ = creatorText;
    producer_ = creatorText;
    return true;
}

std::shared_ptr<OutlineNode> PdfAssembler::FallbackOutline() {
    auto fallback = std::make_shared<OutlineNode>();
    for (const std::string& pdf : chapterPdfs_) {
        const std::string& chapterTitle = chapterTitles_[pdf];
        if (chapterTitle.empty())
            continue;
        auto node = std::make_shared<OutlineNode>();
        node->title = chapterTitle;
        node->page = firstPage_[pdf];
        fallback->children.push_back(node);
    }
    return fallback;
}

void PdfAssembler::ApplyOutline(PoDoFo::PdfMemDocument& doc, const OutlineNode& root) {
    const int pageCount = doc.GetPageCount();
    PoDoFo::PdfOutlines* outlines = doc.GetOutlines(true);
    while (outlines->First() != nullptr) outlines->First()->Erase();  // the chapters' own bookmarks go
    for (const auto& child : root.children) AddNode(doc, outlines, nullptr, *child, pageCount);
}

bool PdfAssembler::Write(const std::shared_ptr<OutlineNode>& outline) {
    if (!merged_)
        return false;
    const auto lock = LockDates();
    // The outline is added before the one write of the document; should that fail, the document is
    // written without it.
    const std::shared_ptr<OutlineNode> root = outline ? outline : FallbackOutline();
    try {
        ApplyOutline(merged_->doc, *root);
    } catch (const PoDoFo::PdfError&) {
        try {
            ApplyOutline(merged_->doc, OutlineNode{});
        } catch (const PoDoFo::PdfError&) {
        }
    }
    try {
        PoDoFo::PdfInfo* info = merged_->doc.GetInfo();
        info->SetTitle(Text(title_));
        info->SetAuthor(Text(author_));
        info->SetCreator(Text(creator_));
        info->SetProducer(Text(producer_));
        WriteReplacing(merged_->doc, outputPath_);
        merged_.reset();
    } catch (const PoDoFo::PdfError& e) {
        merged_.reset();
        lastError_ = ErrorText(e);
        return false;
    }
    return true;
}

bool PdfAssembler::RewriteLinks(const ChapterMapView& job, const std::string& outputPath) {
    const auto lock = LockDates();
    try {
        // Before Write, the links are rewritten in the merged document itself, saving a read and a write.
        if (merged_ && util::ToFullPath(outputPath) == util::ToFullPath(outputPath_))
            return LinkPass(merged_->doc, job);
        PoDoFo::PdfMemDocument doc;
        Load(doc, outputPath);
        if (!LinkPass(doc, job))
            return false;
        WriteReplacing(doc, outputPath);
    } catch (const PoDoFo::PdfError& e) {
        lastError_ = ErrorText(e);
        return false;
    }
    return true;
}

namespace {

// The name a link annotation goes to within its own chapter (/Dest /name, or a GoTo action to one);
// empty when it has none.
std::string NamedTarget(PoDoFo::PdfAnnotation* annotation) {
    const PoDoFo::PdfDictionary& dict = annotation->GetObject()->GetDictionary();
    const PoDoFo::PdfObject* dest = dict.GetKey("Dest");
    if (dest == nullptr) {
        const PoDoFo::PdfObject* action = dict.GetKey("A");
        if (action != nullptr && action->IsDictionary()) {
            const PoDoFo::PdfObject* kind = action->GetDictionary().GetKey("S");
            if (kind != nullptr && kind->IsName() && kind->GetName().GetName() == "GoTo")
                dest = action->GetDictionary().GetKey("D");
        }
    }
    if (dest == nullptr)
        return {};
    if (dest->IsName())
        return dest->GetName().GetName();
    if (dest->IsString() || dest->IsHexString())
        return dest->GetString().GetStringUtf8();
    return {};
}

}  // namespace

bool PdfAssembler::LinkPass(PoDoFo::PdfMemDocument& doc, const ChapterMapView& job) {
    const int pageCount = doc.GetPageCount();
    // The chapter PDF of every page: chapters were appended in order, each up to the next one's first page.
    std::vector<const std::string*> chapterOfPage(static_cast<size_t>(pageCount), nullptr);
    for (size_t c = 0; c < chapterPdfs_.size(); ++c) {
        const int end = c + 1 < chapterPdfs_.size() ? PageOf(chapterPdfs_[c + 1]) : pageCount + 1;
        for (int p = std::max(PageOf(chapterPdfs_[c]), 1); p < end && p <= pageCount; ++p)
            chapterOfPage[static_cast<size_t>(p - 1)] = &chapterPdfs_[c];
    }
    for (int g = 0; g < pageCount; ++g) {
        if (job.cancelled)
            return false;
        PoDoFo::PdfPage* page = doc.GetPage(g);
        const std::string* own = chapterOfPage[static_cast<size_t>(g)];
        const std::string ownChapter = own != nullptr ? *own : std::string();
        std::vector<int> removed;
        const int annotations = page->GetNumAnnots();
        for (int l = 0; l < annotations; ++l) {
            if (job.cancelled)
                return false;
            PoDoFo::PdfAnnotation* annotation = page->GetAnnotation(l);
            if (annotation == nullptr || annotation->GetType() != PoDoFo::ePdfAnnotation_Link)
                continue;

            // Where the link goes: a chapter PDF and an element id in it (empty: the chapter's start).
            std::string pdf;
            std::string fragment;
            const std::string name = NamedTarget(annotation);
            PoDoFo::PdfAction* action = annotation->HasAction() ? annotation->GetAction() : nullptr;
            if (!name.empty()) {
                pdf = ownChapter;  // a link within its chapter, to an element the browser named
                fragment = name;
            } else if (action != nullptr && action->GetType() == PoDoFo::ePdfAction_URI && action->HasURI()) {
                const std::string uri = action->GetURI().GetStringUtf8();
                const std::string scheme = util::ToLowerAscii(uri.substr(0, uri.find(':') + 1));
                if (scheme == "http:" || scheme == "https:" || scheme == "mailto:")
                    continue;  // a web or mail link stays
                if (scheme != "file:") {
                    removed.push_back(l);  // javascript:, data: and the like reach no reader
                    continue;
                }
                const std::string path = util::PathFromFileUrl(util::CutQueryAndFragment(uri));
                pdf = path.empty() ? std::string() : job.PdfOf(util::ToFullPath(path));
                const size_t hash = uri.find('#');
                if (hash != std::string::npos)
                    fragment = util::PercentDecode(uri.substr(hash + 1));
            } else if (action != nullptr) {
                removed.push_back(l);  // a script, a launch, another file: nothing a book's link should do
                continue;
            } else {
                continue;
            }

            int target = pdf.empty() ? 0 : PageOf(pdf);
            double top = -1;
            if (target > 0 && !fragment.empty() && !Locate(pdf, fragment, target, top))
                target = 0;
            removed.push_back(l);
            if (target < 1 || target > pageCount)
                continue;  // a file that was not printed, or an element it does not have: no link
            const PoDoFo::PdfRect rect = annotation->GetRect();
            PoDoFo::PdfAnnotation* link = page->CreateAnnotation(PoDoFo::ePdfAnnotation_Link, rect);
            link->SetDestination(At(doc.GetPage(target - 1), top));
            link->SetBorderStyle(0.0, 0.0, 0.0);
        }
        for (auto it = removed.rbegin(); it != removed.rend(); ++it) page->DeleteAnnotation(*it);
    }
    return true;
}

namespace {

void AddEntry(const PdfAssembler& assembler, const ChapterMapView& job, OutlineNode& parent,
              const epub::TocEntry& entry) {
    const std::string pdf = job.PdfOf(entry.file);
    if (pdf.empty())
        return;  // not printed, or not in the spine: the whole subtree goes
    auto node = std::make_shared<OutlineNode>();
    node->title = entry.label;
    node->page = assembler.PageOf(pdf);
    // At the element the entry names; where the chapter lacks it, at the chapter's start.
    int page = 0;
    double top = -1;
    if (!entry.fragment.empty() && assembler.Locate(pdf, entry.fragment, page, top)) {
        node->page = page;
        node->top = top;
    }
    parent.children.push_back(node);
    for (const auto& child : entry.children) {
        if (job.cancelled)
            return;
        AddEntry(assembler, job, *node, *child);
    }
}

}  // namespace

std::shared_ptr<OutlineNode> BuildOutline(const PdfAssembler& assembler, const epub::EpubBook& book,
                                          const epub::TableOfContents* toc, const ChapterMapView& job) {
    auto root = std::make_shared<OutlineNode>();

    // The guide's references first; one without a title takes the label that the table of contents
    // gives the same target, or is left out.
    std::vector<std::shared_ptr<epub::TocEntry>> guide;
    if (auto cover = book.GetCoverRef())
        guide.push_back(cover);
    if (auto tocRef = book.GetTocRef())
        guide.push_back(tocRef);
    for (const auto& text : book.GetTextRefs()) guide.push_back(text);
    for (const auto& reference : guide) {
        epub::TocEntry entry = *reference;
        if (entry.label.empty() && toc != nullptr)
            entry.label = toc->FindLabel(entry.file, entry.fragment);
        if (!entry.label.empty())
            AddEntry(assembler, job, *root, entry);
    }

    if (toc != nullptr) {
        for (const auto& entry : toc->GetRoot()->children) {
            if (job.cancelled)
                break;
            AddEntry(assembler, job, *root, *entry);
        }
    } else {
        // No table of contents: one bookmark per printed chapter, titled as the chapter titles itself.
        for (const epub::Chapter& chapter : book.GetChapters()) {
            if (job.cancelled)
                break;
            epub::TocEntry entry(epub::ReadDocumentTitle(chapter.path), chapter.path);
            entry.file = chapter.path;
            if (entry.label.empty())
                entry.label = util::GetFileName(chapter.path, false);
            AddEntry(assembler, job, *root, entry);
        }
    }
    if (job.cancelled)
        return nullptr;
    return root;
}

}  // namespace engine
