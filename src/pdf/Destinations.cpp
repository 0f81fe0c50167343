#include "pdf/Destinations.h"

#include <memory>

#include "pdf/Objects.h"

namespace pdf {

namespace {

std::map<std::string, Spot> Take(PoDoFo::PdfMemDocument& chapter) {
    std::map<std::string, Spot> spots;
    PoDoFo::PdfDictionary& catalog = chapter.GetCatalog()->GetDictionary();
    PoDoFo::PdfObject* dests = chapter.GetCatalog()->GetIndirectKey("Dests");
    std::unique_ptr<PoDoFo::PdfObject> owned;
    if (const PoDoFo::PdfObject* key = catalog.GetKey("Dests"); key != nullptr && key->IsReference())
        owned.reset(chapter.GetObjects().RemoveObject(key->GetReference()));
    catalog.RemoveKey("Dests");
    if (owned)
        dests = owned.get();
    if (dests == nullptr || !dests->IsDictionary())
        return spots;
    std::map<PoDoFo::PdfReference, int> pageIndex;
    for (int i = 0; i < chapter.GetPageCount(); ++i)
        pageIndex[chapter.GetPage(i)->GetObject()->Reference()] = i;
    for (const auto& [name, value] : dests->GetDictionary().GetKeys()) {
        const PoDoFo::PdfObject* array = value;
        if (array != nullptr && array->IsReference())
            array = chapter.GetObjects().GetObject(array->GetReference());
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

}  // namespace

util::Status TakeDestinations(PoDoFo::PdfMemDocument& chapter, std::map<std::string, Spot>& spots) {
    return Guarded("its named destinations cannot be read", [&] { spots = Take(chapter); });
}

}  // namespace pdf
