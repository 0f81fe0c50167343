#include "engine/PdfAssembler.h"

#include <podofo/podofo.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>

#include "epub/ChapterDocument.h"
#include "epub/EpubBook.h"
#include "epub/TableOfContents.h"
#include "pdf/Compactor.h"
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

// Writes a document (through memory, in one piece, compacted when asked) to a temporary file of a
// unique name and renames it into place, so that path always holds a complete file: the last successful
// write. The document in memory is let go (release) once its bytes are out, before compaction needs room.
template <typename Release>
void WriteReplacing(PoDoFo::PdfMemDocument& doc, const std::string& path, bool compact, Release release) {
    PoDoFo::PdfRefCountedBuffer buffer;
    PoDoFo::PdfOutputDevice device(&buffer);
    doc.Write(&device);
    release();
    std::string_view bytes(buffer.GetBuffer(), device.GetLength());
    std::string compacted;
    if (compact && pdf::Compact(bytes, compacted))
        bytes = compacted;  // else the document as merged, whole but larger
    util::AtomicFile file(path);
    if (!file.IsOpen())
        PODOFO_RAISE_ERROR_INFO(PoDoFo::ePdfError_FileNotFound, path.c_str());
    if (!file.Write(bytes) || !file.Commit()) {
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

// Now, as XMP writes dates (UTC).
std::string XmpNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The XMP packet of a book: Dublin Core (title, creators, language, identifier, date), the producer and
// the dates of this document.
std::string XmpPacket(const std::string& title, const std::vector<std::string>& creators,
                      const std::string& language, const std::string& identifier, const std::string& date,
                      const std::string& producer) {
    std::string dc;
    if (!title.empty())
        dc += "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + util::MarkupEscaped(title) +
              "</rdf:li></rdf:Alt></dc:title>\n";
    if (!creators.empty()) {
        dc += "<dc:creator><rdf:Seq>";
        for (const std::string& creator : creators)
            dc += "<rdf:li>" + util::MarkupEscaped(creator) + "</rdf:li>";
        dc += "</rdf:Seq></dc:creator>\n";
    }
    if (!language.empty())
        dc += "<dc:language><rdf:Bag><rdf:li>" + util::MarkupEscaped(language) +
              "</rdf:li></rdf:Bag></dc:language>\n";
    if (!identifier.empty())
        dc += "<dc:identifier>" + util::MarkupEscaped(identifier) + "</dc:identifier>\n";
    if (!date.empty())
        dc += "<dc:date><rdf:Seq><rdf:li>" + util::MarkupEscaped(date) + "</rdf:li></rdf:Seq></dc:date>\n";
    const std::string now = XmpNow();
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
           "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n" +
           dc + "<dc:format>application/pdf</dc:format>\n<pdf:Producer>" + util::MarkupEscaped(producer) +
           "</pdf:Producer>\n<xmp:CreatorTool>" + util::MarkupEscaped(producer) +
           "</xmp:CreatorTool>\n<xmp:CreateDate>" + now + "</xmp:CreateDate>\n<xmp:ModifyDate>" + now +
           "</xmp:ModifyDate>\n<xmp:MetadataDate>" + now +
           "</xmp:MetadataDate>\n</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

// The catalog's account of the document: its language, the XMP packet, the title shown in the viewer's
// title bar, and page labels 1, 2, 3... as the pages are numbered.
void Describe(PoDoFo::PdfMemDocument& doc, const std::string& language, const std::string& xmp) {
    PoDoFo::PdfDictionary& catalog = doc.GetCatalog()->GetDictionary();
    if (!language.empty())
        catalog.AddKey("Lang", Text(language));
    PoDoFo::PdfObject* metadata = doc.GetObjects().CreateObject("Metadata");
    metadata->GetDictionary().AddKey("Subtype", PoDoFo::PdfName("XML"));
    // Not compressed: XMP is meant to be found by tools that do not read PDF.
    metadata->GetStream()->Set(xmp.data(), static_cast<PoDoFo::pdf_long>(xmp.size()), PoDoFo::TVecFilters());
    catalog.AddKey("Metadata", metadata->Reference());
    PoDoFo::PdfDictionary preferences;
    preferences.AddKey("DisplayDocTitle", true);
    catalog.AddKey("ViewerPreferences", preferences);
    PoDoFo::PdfDictionary decimal;
    decimal.AddKey("S", PoDoFo::PdfName("D"));
    PoDoFo::PdfArray nums;
    nums.push_back(static_cast<PoDoFo::pdf_int64>(0));
    nums.push_back(decimal);
    PoDoFo::PdfDictionary labels;
    labels.AddKey("Nums", nums);
    catalog.AddKey("PageLabels", labels);
}

// What a reference leads to (followed through references), or the object itself; null at a dead end.
PoDoFo::PdfObject* Resolve(PoDoFo::PdfVecObjects& objects, PoDoFo::PdfObject* object) {
    for (int hops = 0; object != nullptr && object->IsReference() && hops < 32; ++hops)
        object = objects.GetObject(object->GetReference());
    return object != nullptr && object->IsReference() ? nullptr : object;
}

// The entries of a number tree in their order, flattened, with offset added to every key; its largest
// key (offset included), or offset - 1 when it has none.
PoDoFo::pdf_int64 FlattenNumberTree(PoDoFo::PdfVecObjects& objects, PoDoFo::PdfObject* node,
                                    PoDoFo::pdf_int64 offset, PoDoFo::PdfArray& out, int depth = 0) {
    PoDoFo::pdf_int64 largest = offset - 1;
    node = Resolve(objects, node);
    if (node == nullptr || !node->IsDictionary() || depth > 32)
        return largest;
    if (PoDoFo::PdfObject* nums = Resolve(objects, node->GetDictionary().GetKey("Nums"));
        nums && nums->IsArray()) {
        const PoDoFo::PdfArray& entries = nums->GetArray();
        for (size_t i = 0; i + 1 < entries.size(); i += 2) {
            if (!entries[i].IsNumber())
                continue;
            const PoDoFo::pdf_int64 key = entries[i].GetNumber() + offset;
            out.push_back(key);
            out.push_back(entries[i + 1]);
            largest = std::max(largest, key);
        }
    }
    if (PoDoFo::PdfObject* kids = Resolve(objects, node->GetDictionary().GetKey("Kids"));
        kids && kids->IsArray()) {
        for (PoDoFo::PdfObject& kid : kids->GetArray())
            largest = std::max(largest, FlattenNumberTree(objects, &kid, offset, out, depth + 1));
    }
    return largest;
}

// Adds offset to a key that names an entry of the parent tree, where there is one.
void ShiftKey(PoDoFo::PdfDictionary& dictionary, const char* key, PoDoFo::pdf_int64 offset) {
    if (PoDoFo::PdfObject* value = dictionary.GetKey(key); value != nullptr && value->IsNumber())
        dictionary.AddKey(key, value->GetNumber() + offset);
}

}  // namespace

struct PdfAssembler::Document {
    PoDoFo::PdfMemDocument doc;
    // One structure tree for the whole document: a root of its own with one Document element, each
    // chapter's tree a Part of it, their parent trees one flat number tree.
    PoDoFo::PdfObject* structRoot = nullptr;
    PoDoFo::PdfObject* document = nullptr;
    PoDoFo::pdf_int64 nextKey = 0;             // the parent tree's first free key
    PoDoFo::PdfObject* figureStart = nullptr;  // content around an untagged page: a figure
    PoDoFo::PdfObject* figureEnd = nullptr;

    // Makes the structure tree of the chapter whose pages begin at firstPage (0-based) part of the
    // document's; chapterRoot is the chapter's root, as copied into this document, or null. The pages
    // of a chapter without a tree become one figure each.
    void MergeStructure(PoDoFo::PdfObject* chapterRoot, int firstPage, const std::string& title);

  private:
    PoDoFo::PdfArray& Nums();
    // Moves the top elements of a chapter's root below the document element, each chapter's own
    // Document element becoming a Part.
    void AdoptElements(PoDoFo::PdfObject* kids);
    void TagAsFigure(PoDoFo::PdfPage* page, const std::string& title);
};

PoDoFo::PdfArray& PdfAssembler::Document::Nums() {
    return structRoot->GetDictionary().GetKey("ParentTree")->GetDictionary().GetKey("Nums")->GetArray();
}

void PdfAssembler::Document::AdoptElements(PoDoFo::PdfObject* kids) {
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    if (kids == nullptr)
        return;
    PoDoFo::PdfArray added = kids->IsArray() ? kids->GetArray() : PoDoFo::PdfArray(*kids);
    PoDoFo::PdfArray& into = document->GetDictionary().GetKey("K")->GetArray();
    for (PoDoFo::PdfObject& kid : added) {
        if (PoDoFo::PdfObject* element = Resolve(objects, &kid);
            element != nullptr && element->IsDictionary()) {
            PoDoFo::PdfDictionary& e = element->GetDictionary();
            e.AddKey("P", document->Reference());
            if (const PoDoFo::PdfObject* type = e.GetKey("S");
                type != nullptr && type->IsName() && type->GetName() == PoDoFo::PdfName("Document"))
                e.AddKey("S", PoDoFo::PdfName("Part"));
        }
        into.push_back(kid);
    }
}

void PdfAssembler::Document::TagAsFigure(PoDoFo::PdfPage* page, const std::string& title) {
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    PoDoFo::PdfDictionary& dictionary = page->GetObject()->GetDictionary();
    if (figureStart == nullptr) {
        figureStart = objects.CreateObject();
        figureStart->GetStream()->Set("/Figure <</MCID 0>> BDC\n");
        figureEnd = objects.CreateObject();
        figureEnd->GetStream()->Set("\nEMC\n");
    }
    PoDoFo::PdfArray contents;
    contents.push_back(figureStart->Reference());
    if (PoDoFo::PdfObject* own = dictionary.GetKey("Contents"); own != nullptr) {
        PoDoFo::PdfObject* resolved = Resolve(objects, own);
        if (resolved != nullptr && resolved->IsArray()) {
            for (const PoDoFo::PdfObject& part : resolved->GetArray()) contents.push_back(part);
        } else {
            contents.push_back(*own);
        }
    }
    contents.push_back(figureEnd->Reference());
    dictionary.AddKey("Contents", contents);

    PoDoFo::PdfObject* figure = objects.CreateObject("StructElem");
    figure->GetDictionary().AddKey("S", PoDoFo::PdfName("Figure"));
    figure->GetDictionary().AddKey("P", document->Reference());
    figure->GetDictionary().AddKey("Pg", page->GetObject()->Reference());
    figure->GetDictionary().AddKey("K", PoDoFo::PdfObject(static_cast<PoDoFo::pdf_int64>(0)));  // MCID 0
    if (!title.empty())
        figure->GetDictionary().AddKey("Alt", Text(title));
    document->GetDictionary().GetKey("K")->GetArray().push_back(figure->Reference());
    PoDoFo::PdfArray marked;
    marked.push_back(figure->Reference());
    Nums().push_back(nextKey);
    Nums().push_back(marked);
    dictionary.AddKey("StructParents", nextKey++);
}

void PdfAssembler::Document::MergeStructure(PoDoFo::PdfObject* chapterRoot, int firstPage,
                                            const std::string& title) {
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    if (structRoot == nullptr) {
        structRoot = objects.CreateObject("StructTreeRoot");
        PoDoFo::PdfDictionary tree;
        tree.AddKey("Nums", PoDoFo::PdfArray());
        structRoot->GetDictionary().AddKey("ParentTree", tree);
        document = objects.CreateObject("StructElem");
        document->GetDictionary().AddKey("S", PoDoFo::PdfName("Document"));
        document->GetDictionary().AddKey("P", structRoot->Reference());
        document->GetDictionary().AddKey("K", PoDoFo::PdfArray());
        structRoot->GetDictionary().AddKey("K", document->Reference());
        // The inline types of PDF 2.0 that the browser writes, for readers of PDF 1.x.
        PoDoFo::PdfDictionary roles;
        roles.AddKey("Strong", PoDoFo::PdfName("Span"));
        roles.AddKey("Em", PoDoFo::PdfName("Span"));
        structRoot->GetDictionary().AddKey("RoleMap", roles);
        PoDoFo::PdfDictionary& catalog = doc.GetCatalog()->GetDictionary();
        catalog.AddKey("StructTreeRoot", structRoot->Reference());
        PoDoFo::PdfDictionary markInfo;
        markInfo.AddKey("Marked", true);
        catalog.AddKey("MarkInfo", markInfo);
    }
    const PoDoFo::PdfObject* type = chapterRoot != nullptr && chapterRoot->IsDictionary()
                                        ? chapterRoot->GetDictionary().GetKey("Type")
                                        : nullptr;
    if (type == nullptr || !type->IsName() || type->GetName() != PoDoFo::PdfName("StructTreeRoot")) {
        for (int i = firstPage; i < doc.GetPageCount(); ++i) TagAsFigure(doc.GetPage(i), title);
        structRoot->GetDictionary().AddKey("ParentTreeNextKey", nextKey);
        return;
    }
    PoDoFo::PdfDictionary& chapter = chapterRoot->GetDictionary();
    const PoDoFo::pdf_int64 offset = nextKey;
    // The chapter's pages and their annotations name entries of its parent tree: they move up by offset.
    for (int i = firstPage; offset > 0 && i < doc.GetPageCount(); ++i) {
        PoDoFo::PdfDictionary& page = doc.GetPage(i)->GetObject()->GetDictionary();
        ShiftKey(page, "StructParents", offset);
        PoDoFo::PdfObject* annots = Resolve(objects, page.GetKey("Annots"));
        if (annots == nullptr || !annots->IsArray())
            continue;
        for (PoDoFo::PdfObject& annot : annots->GetArray()) {
            if (PoDoFo::PdfObject* a = Resolve(objects, &annot); a != nullptr && a->IsDictionary())
                ShiftKey(a->GetDictionary(), "StructParent", offset);
        }
    }
    const PoDoFo::pdf_int64 largest =
        FlattenNumberTree(objects, chapter.GetKey("ParentTree"), offset, Nums());
    nextKey = std::max({nextKey, largest + 1, offset + chapter.GetKeyAsLong("ParentTreeNextKey", 0)});
    structRoot->GetDictionary().AddKey("ParentTreeNextKey", nextKey);
    AdoptElements(chapter.GetKey("K"));
    // Role and class maps: what no chapter before named.
    PoDoFo::PdfDictionary& root = structRoot->GetDictionary();
    for (const char* mapName : {"RoleMap", "ClassMap"}) {
        PoDoFo::PdfObject* from = Resolve(objects, chapter.GetKey(mapName));
        if (from == nullptr || !from->IsDictionary())
            continue;
        if (!root.HasKey(mapName))
            root.AddKey(mapName, PoDoFo::PdfDictionary());
        PoDoFo::PdfDictionary& to = root.GetKey(mapName)->GetDictionary();
        for (const auto& [name, value] : from->GetDictionary().GetKeys()) {
            if (!to.HasKey(name))
                to.AddKey(name, *value);
        }
    }
}

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
            PoDoFo::PdfDictionary& catalog = merged_->doc.GetCatalog()->GetDictionary();
            merged_->MergeStructure(Resolve(merged_->doc.GetObjects(), catalog.GetKey("StructTreeRoot")), 0,
                                    title);
        } else {
            PoDoFo::PdfMemDocument chapter;
            Load(chapter, pdfPath);
            destinations_[pdfPath] = ReadDestinations(chapter);
            const int firstPage = merged_->doc.GetPageCount();
            pageCursor_ += chapter.GetPageCount();
            // The library appends every object of the chapter with its number raised by the count of
            // objects (and free numbers) already there: the chapter's structure root is found again by
            // that.
            PoDoFo::PdfVecObjects& objects = merged_->doc.GetObjects();
            const auto raise = static_cast<unsigned>(objects.GetSize() + objects.GetFreeObjects().size());
            PoDoFo::PdfObject* root = chapter.GetCatalog()->GetDictionary().GetKey("StructTreeRoot");
            const bool tagged = root != nullptr && root->IsReference();
            const PoDoFo::PdfReference rootRef = tagged ? root->GetReference() : PoDoFo::PdfReference();
            merged_->doc.Append(chapter, true);
            merged_->MergeStructure(tagged ? objects.GetObject(PoDoFo::PdfReference(
                                                 rootRef.ObjectNumber() + raise, rootRef.GenerationNumber()))
                                           : nullptr,
                                    firstPage, title);
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

void PdfAssembler::SetDescription(const std::string& language, const std::vector<std::string>& creators,
                                  const std::string& identifier, const std::string& date) {
    language_ = language;
    creators_ = creators;
    identifier_ = identifier;
    date_ = date;
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

void PdfAssembler::SetStamps(const std::string& footerPdf, const std::string& headerPdf) {
    footerPdf_ = footerPdf;
    headerPdf_ = headerPdf;
}

namespace {

// The content of a page as one form: its streams, its resources and its box.
PoDoFo::PdfObject* PageAsForm(PoDoFo::PdfVecObjects& objects, PoDoFo::PdfPage* page) {
    std::string content;
    PoDoFo::PdfObject* contents = Resolve(objects, page->GetObject()->GetDictionary().GetKey("Contents"));
    std::vector<PoDoFo::PdfObject*> parts;
    if (contents != nullptr && contents->IsArray()) {
        for (PoDoFo::PdfObject& part : contents->GetArray()) parts.push_back(Resolve(objects, &part));
    } else {
        parts.push_back(contents);
    }
    for (PoDoFo::PdfObject* part : parts) {
        if (part == nullptr || !part->HasStream())
            continue;
        char* bytes = nullptr;
        PoDoFo::pdf_long length = 0;
        part->GetStream()->GetFilteredCopy(&bytes, &length);
        content.append(bytes, static_cast<size_t>(length));
        content += '\n';
        PoDoFo::podofo_free(bytes);
    }
    PoDoFo::PdfObject* form = objects.CreateObject("XObject");
    PoDoFo::PdfDictionary& dictionary = form->GetDictionary();
    dictionary.AddKey("Subtype", PoDoFo::PdfName("Form"));
    PoDoFo::PdfVariant box;
    page->GetMediaBox().ToVariant(box);
    dictionary.AddKey("BBox", box);
    if (PoDoFo::PdfObject* resources = page->GetResources(); resources != nullptr)
        dictionary.AddKey("Resources", *resources);
    form->GetStream()->Set(content.data(), static_cast<PoDoFo::pdf_long>(content.size()));
    return form;
}

// Lays forms over a page, each at (x, y) of the page's box (its lower left corner there) and marked as
// pagination (no part of the text a reader reads out).
void LayOver(PoDoFo::PdfVecObjects& objects, PoDoFo::PdfPage* page, PoDoFo::PdfObject* saveState,
             const std::vector<std::pair<PoDoFo::PdfObject*, std::pair<double, double>>>& forms) {
    PoDoFo::PdfDictionary& dictionary = page->GetObject()->GetDictionary();
    // The page's own resources, with the forms added (a dictionary shared with other pages stays as it is).
    PoDoFo::PdfObject* own = page->GetResources();
    PoDoFo::PdfDictionary resources =
        own != nullptr && own->IsDictionary() ? own->GetDictionary() : PoDoFo::PdfDictionary();
    PoDoFo::PdfObject* xobjects = Resolve(objects, resources.GetKey("XObject"));
    PoDoFo::PdfDictionary names =
        xobjects != nullptr && xobjects->IsDictionary() ? xobjects->GetDictionary() : PoDoFo::PdfDictionary();
    std::string draw = "Q\n";
    for (size_t i = 0; i < forms.size(); ++i) {
        const std::string name = util::FormatString("EpubStamp%d", static_cast<int>(i));
        names.AddKey(PoDoFo::PdfName(name), forms[i].first->Reference());
        draw +=
            util::FormatString("/Artifact <</Type /Pagination>> BDC q 1 0 0 1 %.3f %.3f cm /%s Do Q EMC\n",
                               forms[i].second.first, forms[i].second.second, name);
    }
    resources.AddKey("XObject", names);
    dictionary.AddKey("Resources", resources);
    PoDoFo::PdfObject* drawing = objects.CreateObject();
    drawing->GetStream()->Set(draw.data(), static_cast<PoDoFo::pdf_long>(draw.size()));
    // The page's content runs in a saved state of its own, so that what it leaves changed does not move
    // the forms.
    PoDoFo::PdfArray contents;
    contents.push_back(saveState->Reference());
    PoDoFo::PdfObject* old = dictionary.GetKey("Contents");
    PoDoFo::PdfObject* resolved = Resolve(objects, old);
    if (resolved != nullptr && resolved->IsArray()) {
        for (const PoDoFo::PdfObject& part : resolved->GetArray()) contents.push_back(part);
    } else if (old != nullptr) {
        contents.push_back(*old);
    }
    contents.push_back(drawing->Reference());
    dictionary.AddKey("Contents", contents);
}

}  // namespace

void PdfAssembler::ApplyStamps() {
    PoDoFo::PdfMemDocument& doc = merged_->doc;
    const int pages = doc.GetPageCount();
    std::vector<std::unique_ptr<PoDoFo::PdfMemDocument>> sheets;
    for (const std::string* path : {&footerPdf_, &headerPdf_}) {
        sheets.push_back(nullptr);
        if (path->empty())
            continue;
        auto sheet = std::make_unique<PoDoFo::PdfMemDocument>();
        try {
            Load(*sheet, *path);
        } catch (const PoDoFo::PdfError& e) {
            stampProblem_ = "the page numbers and header could not be read: " + ErrorText(e);
            return;
        }
        if (sheet->GetPageCount() != pages) {
            stampProblem_ = util::FormatString(
                "the page numbers and header came out on %d pages for %d; they were left out",
                sheet->GetPageCount(), pages);
            return;
        }
        sheets.back() = std::move(sheet);
    }
    // Each sheet's pages join the document for a moment, become forms, and go.
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    std::vector<std::vector<PoDoFo::PdfObject*>> forms(pages);
    std::vector<std::pair<double, double>> sizes;  // of each sheet's bands
    for (const auto& sheet : sheets) {
        if (!sheet)
            continue;
        const int first = doc.GetPageCount();
        doc.Append(*sheet, true);
        const PoDoFo::PdfRect band = doc.GetPage(first)->GetMediaBox();
        sizes.emplace_back(band.GetWidth(), band.GetHeight());
        std::vector<PoDoFo::PdfReference> spent;  // the sheet's pages and their content, copied into forms
        for (int i = 0; i < pages; ++i) {
            PoDoFo::PdfPage* page = doc.GetPage(first + i);
            forms[static_cast<size_t>(i)].push_back(PageAsForm(objects, page));
            spent.push_back(page->GetObject()->Reference());
            PoDoFo::PdfObject* contents = page->GetObject()->GetDictionary().GetKey("Contents");
            if (contents != nullptr && contents->IsReference())
                spent.push_back(contents->GetReference());
        }
        doc.DeletePages(first, pages);
        for (const PoDoFo::PdfReference& ref : spent) delete objects.RemoveObject(ref);
    }
    PoDoFo::PdfObject* saveState = objects.CreateObject();
    saveState->GetStream()->Set("q\n");
    for (int i = 0; i < pages; ++i) {
        PoDoFo::PdfPage* page = doc.GetPage(i);
        const PoDoFo::PdfRect box = page->GetMediaBox();
        std::vector<std::pair<PoDoFo::PdfObject*, std::pair<double, double>>> placed;
        size_t s = 0;
        for (size_t k = 0; k < sheets.size(); ++k) {
            if (!sheets[k])
                continue;
            const auto [width, height] = sizes[s];
            const double x = box.GetLeft() + (box.GetWidth() - width) / 2;
            // The footer at the page's foot, the header at its head.
            const double y = k == 0 ? box.GetBottom() : box.GetBottom() + box.GetHeight() - height;
            placed.push_back({forms[static_cast<size_t>(i)][s], {x, y}});
            ++s;
        }
        LayOver(objects, page, saveState, placed);
    }
}

bool PdfAssembler::Write(const std::shared_ptr<OutlineNode>& outline) {
    if (!merged_)
        return false;
    const auto lock = LockDates();
    if (!footerPdf_.empty() || !headerPdf_.empty()) {
        try {
            ApplyStamps();
        } catch (const PoDoFo::PdfError& e) {
            stampProblem_ = "the page numbers and header could not be drawn: " + ErrorText(e);
        }
    }
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
        Describe(merged_->doc, language_,
                 XmpPacket(title_, creators_, language_, identifier_, date_, producer_));
        WriteReplacing(merged_->doc, outputPath_, compact_, [this] { merged_.reset(); });
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
        WriteReplacing(doc, outputPath, compact_, [] {});
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
