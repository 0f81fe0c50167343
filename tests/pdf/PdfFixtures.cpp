#include "PdfFixtures.h"

#include <podofo/podofo.h>

namespace testing_support {

void MakeChapterPdf(const std::string& path, int pageCount, const std::string& label,
                    const std::vector<FixtureLink>& links, const std::vector<FixtureBookmark>& bookmarks,
                    const std::vector<FixtureAnchor>& anchors) {
    PoDoFo::PdfMemDocument doc;
    PoDoFo::PdfFont* font = doc.CreateFont("Helvetica");
    for (int i = 0; i < pageCount; ++i) {
        PoDoFo::PdfPage* page = doc.CreatePage(PoDoFo::PdfRect(0, 0, 612, 792));
        PoDoFo::PdfPainter painter;
        painter.SetPage(page);
        font->SetFontSize(18);
        painter.SetFont(font);
        const std::string text = label + " page " + std::to_string(i + 1);
        painter.DrawText(72, 700, PoDoFo::PdfString(text.c_str()));
        painter.FinishPage();
    }
    for (const FixtureLink& link : links) {
        PoDoFo::PdfPage* page = doc.GetPage(link.page);
        if (link.uri == "!entry") {
            PoDoFo::PdfDictionary& dictionary = page->GetObject()->GetDictionary();
            if (!dictionary.HasKey("Annots"))
                dictionary.AddKey("Annots", PoDoFo::PdfArray());
            dictionary.GetKey("Annots")->GetArray().push_back(
                PoDoFo::PdfObject(static_cast<PoDoFo::pdf_int64>(42)));
            continue;
        }
        PoDoFo::PdfAnnotation* annotation =
            page->CreateAnnotation(PoDoFo::ePdfAnnotation_Link, PoDoFo::PdfRect(72, 600, 200, 20));
        if (link.uri[0] == '#') {
            annotation->GetObject()->GetDictionary().AddKey("Dest", PoDoFo::PdfName(link.uri.substr(1)));
            continue;
        }
        PoDoFo::PdfAction action(PoDoFo::ePdfAction_URI, &doc);
        if (link.uri == "!uri")
            action.GetObject()->GetDictionary().AddKey("URI", static_cast<PoDoFo::pdf_int64>(42));
        else
            action.SetURI(PoDoFo::PdfString(link.uri.c_str()));
        annotation->SetAction(action);
    }
    if (!bookmarks.empty()) {
        PoDoFo::PdfOutlines* outlines = doc.GetOutlines(true);
        for (const FixtureBookmark& b : bookmarks) {
            PoDoFo::PdfOutlineItem* item = outlines->CreateRoot(PoDoFo::PdfString(b.title.c_str()));
            item->SetDestination(PoDoFo::PdfDestination(doc.GetPage(b.page)));
        }
    }
    if (!anchors.empty()) {
        PoDoFo::PdfDictionary dests;
        for (const FixtureAnchor& a : anchors) {
            PoDoFo::PdfArray where;
            where.push_back(doc.GetPage(a.page)->GetObject()->Reference());
            where.push_back(PoDoFo::PdfName("XYZ"));
            where.push_back(PoDoFo::PdfObject(0.0));
            where.push_back(PoDoFo::PdfObject(a.top));
            where.push_back(PoDoFo::PdfObject(0.0));
            dests.AddKey(PoDoFo::PdfName(a.name), where);
        }
        doc.GetCatalog()->GetDictionary().AddKey("Dests", doc.GetObjects().CreateObject(dests)->Reference());
    }
    doc.Write(path.c_str());
}

void MakeSizedPdf(const std::string& path, const std::vector<std::pair<double, double>>& sizes) {
    PoDoFo::PdfMemDocument doc;
    PoDoFo::PdfFont* font = doc.CreateFont("Helvetica");
    font->SetFontSize(12);
    for (size_t i = 0; i < sizes.size(); ++i) {
        const auto [width, height] = sizes[i];
        PoDoFo::PdfPage* page = doc.CreatePage(PoDoFo::PdfRect(0, 0, width, height));
        PoDoFo::PdfPainter painter;
        painter.SetPage(page);
        painter.SetFont(font);
        painter.DrawText(36, height > 96 ? height - 48 : height / 3,
                         PoDoFo::PdfString(("page " + std::to_string(i + 1)).c_str()));
        painter.FinishPage();
    }
    doc.Write(path.c_str());
}

std::vector<std::pair<std::string, std::string>> MakeThreeChapters(
    const std::string& folder, const std::string& bookFolder,
    const std::vector<std::vector<FixtureLink>>& links) {
    const std::pair<const char*, int> chapters[] = {{"a.xhtml", 3}, {"b b.xhtml", 5}, {"c.xhtml", 2}};
    const std::vector<FixtureAnchor> anchors[] = {
        {}, {{"sec3", 2, 400}, {"here", 3, 300}}, {{"note", 1, 500}}};
    std::vector<std::pair<std::string, std::string>> made;
    for (size_t i = 0; i < 3; ++i) {
        const std::string pdf = folder + "/" + std::to_string(i + 1) + ".pd_";
        MakeChapterPdf(
            pdf, chapters[i].second, chapters[i].first,
            i < links.size() ? links[i] : std::vector<FixtureLink>{},
            i == 0 ? std::vector<FixtureBookmark>{{"Old bookmark", 1}} : std::vector<FixtureBookmark>{},
            anchors[i]);
        made.emplace_back(bookFolder + "/" + chapters[i].first, pdf);
    }
    return made;
}

}  // namespace testing_support
