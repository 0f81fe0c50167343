#include "pdf/Links.h"

#include <vector>

#include "pdf/Chapters.h"
#include "pdf/Objects.h"
#include "util/Paths.h"
#include "util/Text.h"
#include "util/Urls.h"

namespace pdf {
namespace {

// What becomes of one annotation.
struct Verdict {
    enum Kind { kKeep, kRemove, kRetarget } kind = kKeep;
    Place target;  // kRetarget: where the new link goes
    PoDoFo::PdfRect rect;
};

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

// Reads where a link annotation of a page of ownChapter goes; throws PoDoFo's errors when it cannot be
// read.
Verdict Judge(PoDoFo::PdfAnnotation* annotation, const std::string& ownChapter, const Chapters& chapters,
              const ChapterFiles& printed, int pageCount) {
    Verdict verdict;
    if (annotation == nullptr || annotation->GetType() != PoDoFo::ePdfAnnotation_Link)
        return verdict;

    // Where the link goes: a chapter PDF and an element id in it (empty: the chapter's start).
    std::string pdf;
    std::string fragment;  // as the URL has it: percent-encoded where the browser's parser encoded it
    const std::string name = NamedTarget(annotation);
    PoDoFo::PdfAction* action = annotation->HasAction() ? annotation->GetAction() : nullptr;
    if (!name.empty()) {
        pdf = ownChapter;  // a link within its chapter, to an element the browser named
        fragment = name;
    } else if (action != nullptr && action->GetType() == PoDoFo::ePdfAction_URI && action->HasURI()) {
        const std::string uri = action->GetURI().GetStringUtf8();
        const std::string scheme = util::ToLowerAscii(uri.substr(0, uri.find(':') + 1));
        if (scheme == "http:" || scheme == "https:" || scheme == "mailto:")
            return verdict;  // a web or mail link stays
        verdict.kind = Verdict::kRemove;
        if (scheme != "file:")
            return verdict;  // javascript:, data: and the like reach no reader
        const std::string path = util::PathFromFileUrl(util::CutQueryAndFragment(uri));
        if (!path.empty()) {
            auto it = printed.find(util::ToFullPath(path));
            if (it != printed.end())
                pdf = it->second;
        }
        const size_t hash = uri.find('#');
        if (hash != std::string::npos)
            fragment = uri.substr(hash + 1);
    } else if (action != nullptr) {
        verdict.kind = Verdict::kRemove;  // a script, a launch, another file: nothing a book's link should do
        return verdict;
    } else {
        return verdict;
    }

    verdict.kind = Verdict::kRemove;
    Place target{pdf.empty() ? 0 : chapters.PageOf(pdf), -1};
    if (target.page > 0 && !name.empty())
        target = chapters.LocateDestination(pdf, name).value_or(Place{});
    else if (target.page > 0 && !fragment.empty())
        target = chapters.Locate(pdf, fragment).value_or(Place{});
    if (target.page < 1 || target.page > pageCount)
        return verdict;  // a file that was not printed, or an element it does not have: no link
    verdict.kind = Verdict::kRetarget;
    verdict.target = target;
    verdict.rect = annotation->GetRect();
    return verdict;
}

// Takes the index-th entry out of a page's annotations, whether or not it is an annotation PoDoFo reads.
void RemoveAnnotation(PoDoFo::PdfPage* page, int index) {
    PoDoFo::PdfObject* annots = page->GetObject()->GetIndirectKey("Annots");
    if (annots != nullptr && annots->IsArray() && static_cast<size_t>(index) < annots->GetArray().size()) {
        PoDoFo::PdfArray& entries = annots->GetArray();
        if (!entries[index].IsReference() && !entries[index].IsDictionary()) {
            entries.erase(entries.begin() + index);  // not an annotation at all: PoDoFo cannot delete it
            return;
        }
    }
    page->DeleteAnnotation(index);
}

util::Status Pass(PoDoFo::PdfMemDocument& doc, const Chapters& chapters, const ChapterFiles& printed,
                  const std::atomic<bool>& cancelled) {
    const int pageCount = doc.GetPageCount();
    for (int g = 0; g < pageCount; ++g) {
        if (cancelled)
            return util::Status::Failure("cancelled");
        PoDoFo::PdfPage* page = doc.GetPage(g);
        const Chapters::Chapter* own = chapters.ChapterOfPage(g + 1);
        const std::string ownChapter = own != nullptr ? own->pdf : std::string();
        std::vector<int> removed;
        const int annotations = page->GetNumAnnots();
        for (int l = 0; l < annotations; ++l) {
            if (cancelled)
                return util::Status::Failure("cancelled");
            Verdict verdict;
            try {
                verdict = Judge(page->GetAnnotation(l), ownChapter, chapters, printed, pageCount);
            } catch (const PoDoFo::PdfError&) {
                verdict.kind = Verdict::kRemove;  // what cannot be read reaches no reader either
            }
            if (verdict.kind == Verdict::kKeep)
                continue;
            removed.push_back(l);
            if (verdict.kind == Verdict::kRetarget) {
                PoDoFo::PdfAnnotation* link =
                    page->CreateAnnotation(PoDoFo::ePdfAnnotation_Link, verdict.rect);
                link->SetDestination(At(doc.GetPage(verdict.target.page - 1), verdict.target.top));
                link->SetBorderStyle(0.0, 0.0, 0.0);
            }
        }
        for (auto it = removed.rbegin(); it != removed.rend(); ++it) RemoveAnnotation(page, *it);
    }
    return {};
}

}  // namespace

util::Status RewriteLinks(PoDoFo::PdfMemDocument& doc, const Chapters& chapters, const ChapterFiles& printed,
                          const std::atomic<bool>& cancelled) {
    return Guarded("the links could not be rewritten",
                   [&] { return Pass(doc, chapters, printed, cancelled); });
}

}  // namespace pdf
