#include "pdf/Metadata.h"

#include <ctime>

#include "pdf/Objects.h"
#include "util/Text.h"

namespace pdf {
namespace {

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
std::string XmpPacket(const Metadata& m) {
    std::string dc;
    if (!m.title.empty())
        dc += "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + util::MarkupEscaped(m.title) +
              "</rdf:li></rdf:Alt></dc:title>\n";
    if (!m.creators.empty()) {
        dc += "<dc:creator><rdf:Seq>";
        for (const std::string& creator : m.creators)
            dc += "<rdf:li>" + util::MarkupEscaped(creator) + "</rdf:li>";
        dc += "</rdf:Seq></dc:creator>\n";
    }
    if (!m.language.empty())
        dc += "<dc:language><rdf:Bag><rdf:li>" + util::MarkupEscaped(m.language) +
              "</rdf:li></rdf:Bag></dc:language>\n";
    if (!m.identifier.empty())
        dc += "<dc:identifier>" + util::MarkupEscaped(m.identifier) + "</dc:identifier>\n";
    if (!m.date.empty())
        dc += "<dc:date><rdf:Seq><rdf:li>" + util::MarkupEscaped(m.date) + "</rdf:li></rdf:Seq></dc:date>\n";
    const std::string now = XmpNow();
    const std::string producer = util::MarkupEscaped(m.producer);
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
           "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n" +
           dc + "<dc:format>application/pdf</dc:format>\n<pdf:Producer>" + producer +
           "</pdf:Producer>\n<xmp:CreatorTool>" + producer + "</xmp:CreatorTool>\n<xmp:CreateDate>" + now +
           "</xmp:CreateDate>\n<xmp:ModifyDate>" + now + "</xmp:ModifyDate>\n<xmp:MetadataDate>" + now +
           "</xmp:MetadataDate>\n</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

void Write(PoDoFo::PdfMemDocument& doc, const Metadata& metadata) {
    PoDoFo::PdfInfo* info = doc.GetInfo();
    info->SetTitle(Text(metadata.title));
    info->SetAuthor(Text(metadata.author));
    info->SetCreator(Text(metadata.creator));
    info->SetProducer(Text(metadata.producer));

    PoDoFo::PdfDictionary& catalog = doc.GetCatalog()->GetDictionary();
    if (!metadata.language.empty())
        catalog.AddKey("Lang", Text(metadata.language));
    const std::string xmp = XmpPacket(metadata);
    PoDoFo::PdfObject* stream = doc.GetObjects().CreateObject("Metadata");
    stream->GetDictionary().AddKey("Subtype", PoDoFo::PdfName("XML"));
    // Not compressed: XMP is meant to be found by tools that do not read PDF.
    stream->GetStream()->Set(xmp.data(), static_cast<PoDoFo::pdf_long>(xmp.size()), PoDoFo::TVecFilters());
    catalog.AddKey("Metadata", stream->Reference());
    PoDoFo::PdfDictionary preferences;
    preferences.AddKey("DisplayDocTitle", true);
    if (metadata.rightToLeft)
        preferences.AddKey("Direction", PoDoFo::PdfName("R2L"));
    catalog.AddKey("ViewerPreferences", preferences);
    if (metadata.layout != PageLayout::ViewersOwn) {
        catalog.AddKey("PageLayout", PoDoFo::PdfName(metadata.layout == PageLayout::TwoPages ? "TwoPageRight"
                                                                                             : "OneColumn"));
    }
    PoDoFo::PdfDictionary decimal;
    decimal.AddKey("S", PoDoFo::PdfName("D"));
    PoDoFo::PdfArray nums;
    nums.push_back(static_cast<PoDoFo::pdf_int64>(0));
    nums.push_back(decimal);
    PoDoFo::PdfDictionary labels;
    labels.AddKey("Nums", nums);
    catalog.AddKey("PageLabels", labels);
    // A book with bookmarks opens with them shown, as a table of contents beside the pages.
    if (PoDoFo::PdfOutlines* outlines = doc.GetOutlines(false);
        outlines != nullptr && outlines->First() != nullptr)
        catalog.AddKey("PageMode", PoDoFo::PdfName("UseOutlines"));
}

}  // namespace

util::Status Describe(PoDoFo::PdfMemDocument& doc, const Metadata& metadata) {
    return Guarded("the document information could not be written", [&] { Write(doc, metadata); });
}

}  // namespace pdf
