#include "pdf/Structure.h"

#include <algorithm>

#include "pdf/Objects.h"

namespace pdf {
namespace {

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

util::Status StructureTree::MergeChapter(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfObject* chapterRoot,
                                         int firstPage, const std::string& title) {
    return Guarded("its structure cannot be merged", [&] { Merge(doc, chapterRoot, firstPage, title); });
}

PoDoFo::PdfArray& StructureTree::Nums() {
    return structRoot_->GetDictionary().GetKey("ParentTree")->GetDictionary().GetKey("Nums")->GetArray();
}

void StructureTree::Create(PoDoFo::PdfMemDocument& doc) {
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    structRoot_ = objects.CreateObject("StructTreeRoot");
    PoDoFo::PdfDictionary tree;
    tree.AddKey("Nums", PoDoFo::PdfArray());
    structRoot_->GetDictionary().AddKey("ParentTree", tree);
    document_ = objects.CreateObject("StructElem");
    document_->GetDictionary().AddKey("S", PoDoFo::PdfName("Document"));
    document_->GetDictionary().AddKey("P", structRoot_->Reference());
    document_->GetDictionary().AddKey("K", PoDoFo::PdfArray());
    structRoot_->GetDictionary().AddKey("K", document_->Reference());
    // The inline types of PDF 2.0 that the browser writes, for readers of PDF 1.x.
    PoDoFo::PdfDictionary roles;
    roles.AddKey("Strong", PoDoFo::PdfName("Span"));
    roles.AddKey("Em", PoDoFo::PdfName("Span"));
    structRoot_->GetDictionary().AddKey("RoleMap", roles);
    PoDoFo::PdfDictionary& catalog = doc.GetCatalog()->GetDictionary();
    catalog.AddKey("StructTreeRoot", structRoot_->Reference());
    PoDoFo::PdfDictionary markInfo;
    markInfo.AddKey("Marked", true);
    catalog.AddKey("MarkInfo", markInfo);
}

void StructureTree::AdoptElements(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfObject* kids) {
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    if (kids == nullptr)
        return;
    PoDoFo::PdfArray added = kids->IsArray() ? kids->GetArray() : PoDoFo::PdfArray(*kids);
    PoDoFo::PdfArray& into = document_->GetDictionary().GetKey("K")->GetArray();
    for (PoDoFo::PdfObject& kid : added) {
        if (PoDoFo::PdfObject* element = Resolve(objects, &kid);
            element != nullptr && element->IsDictionary()) {
            PoDoFo::PdfDictionary& e = element->GetDictionary();
            e.AddKey("P", document_->Reference());
            if (const PoDoFo::PdfObject* type = e.GetKey("S");
                type != nullptr && type->IsName() && type->GetName() == PoDoFo::PdfName("Document"))
                e.AddKey("S", PoDoFo::PdfName("Part"));
        }
        into.push_back(kid);
    }
}

void StructureTree::TagAsFigure(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfPage* page,
                                const std::string& title) {
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    PoDoFo::PdfDictionary& dictionary = page->GetObject()->GetDictionary();
    if (figureStart_ == nullptr) {
        figureStart_ = objects.CreateObject();
        figureStart_->GetStream()->Set("/Figure <</MCID 0>> BDC\n");
        figureEnd_ = objects.CreateObject();
        figureEnd_->GetStream()->Set("\nEMC\n");
    }
    PoDoFo::PdfArray contents;
    contents.push_back(figureStart_->Reference());
    if (PoDoFo::PdfObject* own = dictionary.GetKey("Contents"); own != nullptr) {
        PoDoFo::PdfObject* resolved = Resolve(objects, own);
        if (resolved != nullptr && resolved->IsArray()) {
            for (const PoDoFo::PdfObject& part : resolved->GetArray()) contents.push_back(part);
        } else {
            contents.push_back(*own);
        }
    }
    contents.push_back(figureEnd_->Reference());
    dictionary.AddKey("Contents", contents);

    PoDoFo::PdfObject* figure = objects.CreateObject("StructElem");
    figure->GetDictionary().AddKey("S", PoDoFo::PdfName("Figure"));
    figure->GetDictionary().AddKey("P", document_->Reference());
    figure->GetDictionary().AddKey("Pg", page->GetObject()->Reference());
    figure->GetDictionary().AddKey("K", PoDoFo::PdfObject(static_cast<PoDoFo::pdf_int64>(0)));  // MCID 0
    if (!title.empty())
        figure->GetDictionary().AddKey("Alt", Text(title));
    document_->GetDictionary().GetKey("K")->GetArray().push_back(figure->Reference());
    PoDoFo::PdfArray marked;
    marked.push_back(figure->Reference());
    Nums().push_back(nextKey_);
    Nums().push_back(marked);
    dictionary.AddKey("StructParents", nextKey_++);
}

void StructureTree::Merge(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfObject* chapterRoot, int firstPage,
                          const std::string& title) {
    PoDoFo::PdfVecObjects& objects = doc.GetObjects();
    if (structRoot_ == nullptr)
        Create(doc);
    const PoDoFo::PdfObject* type = chapterRoot != nullptr && chapterRoot->IsDictionary()
                                        ? chapterRoot->GetDictionary().GetKey("Type")
                                        : nullptr;
    if (type == nullptr || !type->IsName() || type->GetName() != PoDoFo::PdfName("StructTreeRoot")) {
        for (int i = firstPage; i < doc.GetPageCount(); ++i) TagAsFigure(doc, doc.GetPage(i), title);
        structRoot_->GetDictionary().AddKey("ParentTreeNextKey", nextKey_);
        return;
    }
    PoDoFo::PdfDictionary& chapter = chapterRoot->GetDictionary();
    const PoDoFo::pdf_int64 offset = nextKey_;
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
    nextKey_ = std::max({nextKey_, largest + 1, offset + chapter.GetKeyAsLong("ParentTreeNextKey", 0)});
    structRoot_->GetDictionary().AddKey("ParentTreeNextKey", nextKey_);
    AdoptElements(doc, chapter.GetKey("K"));
    // Role and class maps: what no chapter before named.
    PoDoFo::PdfDictionary& root = structRoot_->GetDictionary();
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

}  // namespace pdf
