#include "pdf/Stamps.h"

#include <memory>
#include <utility>
#include <vector>

#include "pdf/DocumentFile.h"
#include "pdf/Objects.h"
#include "util/Format.h"

namespace pdf {
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

// Draws the sheets (footer first, then header; either may be null) over every page of doc.
void Draw(PoDoFo::PdfMemDocument& doc, const std::vector<std::unique_ptr<PoDoFo::PdfMemDocument>>& sheets) {
    const int pages = doc.GetPageCount();
    // Each sheet's pages join the document for a moment, become forms, and go.
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    std::vector<std::vector<PoDoFo::PdfObject*>> forms(pages);
    std::vector<std::pair<double, double>> sizes;  // of each sheet's bands
    for (const auto& sheet : sheets) {
        if (!sheet)
            continue;
        const int first = doc.GetPageCount();
        std::vector<PoDoFo::PdfReference> spent;  // the sheet's pages and their content, copied into forms
        try {
            doc.Append(*sheet, true);
            const PoDoFo::PdfRect band = doc.GetPage(first)->GetMediaBox();
            sizes.emplace_back(band.GetWidth(), band.GetHeight());
            for (int i = 0; i < pages; ++i) {
                PoDoFo::PdfPage* page = doc.GetPage(first + i);
                forms[static_cast<size_t>(i)].push_back(PageAsForm(objects, page));
                spent.push_back(page->GetObject()->Reference());
                PoDoFo::PdfObject* contents = page->GetObject()->GetDictionary().GetKey("Contents");
                if (contents != nullptr && contents->IsReference())
                    spent.push_back(contents->GetReference());
            }
        } catch (...) {
            // The book keeps its own pages only.
            if (doc.GetPageCount() > first)
                doc.DeletePages(first, doc.GetPageCount() - first);
            throw;
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

}  // namespace

util::Status LayStamps(PoDoFo::PdfMemDocument& doc, const std::string& footerPdf,
                       const std::string& headerPdf) {
    if (footerPdf.empty() && headerPdf.empty())
        return {};
    const util::Status laid =
        Guarded("the page numbers and header could not be drawn", [&]() -> util::Status {
            const int pages = doc.GetPageCount();
            std::vector<std::unique_ptr<PoDoFo::PdfMemDocument>> sheets;
            for (const std::string* path : {&footerPdf, &headerPdf}) {
                sheets.push_back(nullptr);
                if (path->empty())
                    continue;
                auto sheet = std::make_unique<PoDoFo::PdfMemDocument>();
                if (util::Status read = ReadDocument(*sheet, *path, "the sheet of page numbers and header");
                    !read)
                    return read;
                if (sheet->GetPageCount() != pages) {
                    return util::Status::Failure(
                        util::FormatString("the page numbers and header came out on %d pages for %d",
                                           sheet->GetPageCount(), pages));
                }
                sheets.back() = std::move(sheet);
            }
            Draw(doc, sheets);
            return {};
        });
    return laid ? laid : util::Status::Failure(laid.Reason() + "; they were left out");
}

}  // namespace pdf
