#include "epub/EpubBook.h"

#include <filesystem>
#include <set>
#include <unordered_map>

#include "epub/XmlFile.h"
#include "epub/XmlNames.h"
#include "util/Files.h"
#include "util/Paths.h"
#include "util/Text.h"
#include "util/Urls.h"

namespace epub {
namespace {

struct ManifestItem {
    std::string href;  // as written
    std::string path;  // absolute, fragment cut, decoded
    std::string mediaType;
    std::string properties;
    bool inside = false;  // within the book
    bool exists = false;  // within the book, and there
};

// Whether a browser shows the item as a page: (X)HTML and SVG documents, by media type, or by the
// file's extension when the manifest gives a type that says nothing.
bool IsPrintable(const ManifestItem& item) {
    static const std::set<std::string> types = {"application/xhtml+xml", "text/html", "image/svg+xml",
                                                "text/x-oeb1-document"};
    static const std::set<std::string> extensions = {".xhtml", ".xht", ".html", ".htm", ".svg"};
    const std::string type = util::ToLowerAscii(item.mediaType);
    if (types.count(type) != 0)
        return true;
    const bool vague =
        type.empty() || type == "application/xml" || type == "text/xml" || type == "application/octet-stream";
    return vague && extensions.count(util::ToLowerAscii(util::GetExtension(item.path))) != 0;
}

// A guide reference or a landmark, resolved against the folder of the document that names it.
std::shared_ptr<TocEntry> Reference(const std::string& label, const std::string& href,
                                    const std::string& folder) {
    if (href.empty())
        return nullptr;
    auto entry = std::make_shared<TocEntry>(label, href);
    entry->Resolve(folder);
    return entry;
}

}  // namespace

std::vector<std::string> EpubBook::GetChapterFiles() const {
    std::vector<std::string> files;
    files.reserve(chapters_.size());
    for (const Chapter& c : chapters_) files.push_back(c.path);
    return files;
}

bool EpubBook::ReadMetadata(const XmlFile& xml) {
    pugi::xml_node metadata = xml::Descendant(xml.Document(), xml::kOpf, "metadata");

    // EPUB 3 refinements: <meta refines="#id" property="title-type">main</meta>.
    std::set<std::string> mainTitles;
    bool fixedLayout = false;
    for (pugi::xml_node meta : xml::Descendants(metadata, xml::kOpf, "meta")) {
        const std::string property = xml::Attribute(meta, "property");
        const std::string refines = xml::Attribute(meta, "refines");
        if (property == "title-type" && xml::Text(meta) == "main" && refines.size() > 1 && refines[0] == '#')
            mainTitles.insert(refines.substr(1));
        if (property == "rendition:layout" && refines.empty() && xml::Text(meta) == "pre-paginated")
            fixedLayout = true;
    }
    for (pugi::xml_node title : xml::Descendants(metadata, xml::kDc, "title")) {
        const std::string text = xml::Text(title);
        if (text.empty())
            continue;
        if (title_.empty())
            title_ = text;
        if (mainTitles.count(xml::Attribute(title, "id")) != 0) {
            title_ = text;
            break;
        }
    }
    for (pugi::xml_node creator : xml::Descendants(metadata, xml::kDc, "creator")) {
        std::string text = xml::Text(creator);
        if (text.empty())
            continue;
        if (!creator_.empty())
            creator_ += ',';
        creator_ += text;
        creators_.push_back(std::move(text));
    }
    for (pugi::xml_node language : xml::Descendants(metadata, xml::kDc, "language")) {
        language_ = xml::Text(language);
        if (!language_.empty())
            break;
    }
    // The identifier the package names as its unique one, else the first.
    const std::string unique =
        xml::Attribute(xml::Descendant(xml.Document(), xml::kOpf, "package"), "unique-identifier");
    for (pugi::xml_node identifier : xml::Descendants(metadata, xml::kDc, "identifier")) {
        const std::string text = xml::Text(identifier);
        if (text.empty())
            continue;
        if (identifier_.empty() || (!unique.empty() && xml::Attribute(identifier, "id") == unique))
            identifier_ = text;
        if (!unique.empty() && xml::Attribute(identifier, "id") == unique)
            break;
    }
    for (pugi::xml_node date : xml::Descendants(metadata, xml::kDc, "date")) {
        date_ = xml::Text(date);
        if (!date_.empty())
            break;
    }
    return fixedLayout;
}

std::shared_ptr<EpubBook> EpubBook::Load(const std::string& packagePath, const std::string& bookFolder) {
    const std::string fullPath = util::ToFullPath(packagePath);
    if (!util::FileExists(fullPath))
        return nullptr;

    auto book = std::shared_ptr<EpubBook>(new EpubBook());
    book->packagePath_ = fullPath;
    book->packageFolder_ = util::GetFolderOf(fullPath);
    const std::string root = bookFolder.empty() ? book->packageFolder_ : util::ToFullPath(bookFolder);
    XmlFile xml(fullPath);
    book->problem_ = xml.Problem();
    pugi::xml_node package = xml::Descendant(xml.Document(), xml::kOpf, "package");
    if (!package)
        package = xml.Document();

    // The manifest, by id: the first item of each id counts.
    std::unordered_map<std::string, ManifestItem> manifest;
    std::string ncxItem;
    for (pugi::xml_node node : xml::Descendants(package, xml::kOpf, "item")) {
        if (!xml::Is(node.parent(), xml::kOpf, "manifest"))
            continue;
        ManifestItem item;
        item.href = xml::Attribute(node, "href");
        item.mediaType = xml::Attribute(node, "media-type");
        item.properties = xml::Attribute(node, "properties");
        if (!item.href.empty()) {
            // Hrefs are URLs: "ch%201.xhtml" names the file "ch 1.xhtml", and "a.xhtml#x" the file a.xhtml.
            item.path = util::JoinPath(book->packageFolder_,
                                       util::PercentDecode(util::CutQueryAndFragment(item.href)));
            item.inside = util::IsInsideFolder(item.path, root);
            std::error_code error;
            item.exists = item.inside && std::filesystem::is_regular_file(item.path, error);  // not a folder
        }
        if (ncxItem.empty() && item.exists && item.mediaType == "application/x-dtbncx+xml")
            ncxItem = item.path;
        if (book->navPath_.empty() && item.exists && xml::HasToken(item.properties, "nav"))
            book->navPath_ = item.path;
        manifest.emplace(xml::Attribute(node, "id"), std::move(item));
    }

    pugi::xml_node spine = xml::Descendant(package, xml::kOpf, "spine");
    auto toc = manifest.find(xml::Attribute(spine, "toc"));
    book->ncxPath_ = toc != manifest.end() && toc->second.exists ? toc->second.path : ncxItem;

    const bool fixedLayout = book->ReadMetadata(xml);
    std::set<std::string> seen;
    for (pugi::xml_node itemref : xml::Children(spine, xml::kOpf, "itemref")) {
        auto it = manifest.find(xml::Attribute(itemref, "idref"));
        if (it == manifest.end() || it->second.path.empty())
            continue;
        const ManifestItem& item = it->second;
        if (!item.inside)
            continue;
        if (!item.exists) {
            book->missingFiles_.push_back(item.href);
            continue;
        }
        if (!IsPrintable(item)) {
            book->unprintable_.push_back(
                item.href + " (" + (item.mediaType.empty() ? std::string("no media type") : item.mediaType) +
                ")");
            continue;
        }
        if (!seen.insert(item.path).second)
            continue;  // printed once, where the spine first names it
        // The book's layout, unless the itemref says otherwise.
        const std::string properties = xml::Attribute(itemref, "properties");
        const bool fixed = xml::HasToken(properties, "rendition:layout-pre-paginated") ||
                           (fixedLayout && !xml::HasToken(properties, "rendition:layout-reflowable"));
        book->chapters_.push_back({item.path, item.mediaType, fixed});
    }

    for (pugi::xml_node node : xml::Descendants(package, xml::kOpf, "reference")) {
        if (!xml::Is(node.parent(), xml::kOpf, "guide"))
            continue;
        const std::string type = xml::Attribute(node, "type");
        auto ref =
            Reference(xml::Attribute(node, "title"), xml::Attribute(node, "href"), book->packageFolder_);
        if (!ref)
            continue;
        if (type == "cover" && !book->coverRef_) {
            book->coverRef_ = ref;
        } else if (type == "toc" && !book->tocRef_) {
            book->tocRef_ = ref;
        } else if (type == "text") {
            book->textRefs_.push_back(ref);
        }
    }
    if (!book->coverRef_ && !book->tocRef_ && book->textRefs_.empty())
        book->ReadLandmarks();
    return book;
}

void EpubBook::ReadLandmarks() {
    if (navPath_.empty())
        return;
    XmlFile nav(navPath_);
    const std::string folder = util::GetFolderOf(navPath_);
    for (pugi::xml_node n : xml::Descendants(nav.Document(), xml::kXhtml, "nav")) {
        if (!xml::HasToken(xml::AttributeNs(n, xml::kOps, "type"), "landmarks"))
            continue;
        for (pugi::xml_node a : xml::Descendants(n, xml::kXhtml, "a")) {
            const std::string type = xml::AttributeNs(a, xml::kOps, "type");
            auto ref = Reference(xml::Text(a), xml::Attribute(a, "href"), folder);
            if (!ref)
                continue;
            if (xml::HasToken(type, "cover") && !coverRef_) {
                coverRef_ = ref;
            } else if (xml::HasToken(type, "toc") && !tocRef_) {
                tocRef_ = ref;
            } else if (xml::HasToken(type, "bodymatter")) {
                textRefs_.push_back(ref);
            }
        }
        break;
    }
}

}  // namespace epub
