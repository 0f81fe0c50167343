#include "epub/EpubBook.h"

#include <filesystem>
#include <set>
#include <sstream>
#include <unordered_map>

#include "epub/XmlFile.h"
#include "epub/XmlNames.h"
#include "util/Files.h"
#include "util/Format.h"
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
    std::string fallback;  // the id of the item that stands for it where it cannot be shown
    bool inside = false;   // within the book
    bool exists = false;   // within the book, and there
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

// Whether a spine item is a picture that can stand as a page of its own.
bool IsImage(const ManifestItem& item) {
    static const std::set<std::string> types = {"image/png", "image/jpeg", "image/gif", "image/webp"};
    return types.count(util::ToLowerAscii(item.mediaType)) != 0;
}

// Whether text in a language (a BCP 47 tag: "ar", "fa-IR", "ku-Arab") is written from right to left.
bool IsRightToLeftLanguage(const std::string& tag) {
    static const std::set<std::string> languages = {"ar", "arc", "ckb", "dv", "fa",  "he", "iw", "ji",
                                                    "ks", "nqo", "ps",  "sd", "syr", "ug", "ur", "yi"};
    static const std::set<std::string> scripts = {"arab", "hebr", "syrc", "thaa", "nkoo", "adlm", "rohg"};
    const std::string lower = util::ToLowerAscii(tag);
    const std::string primary = lower.substr(0, lower.find_first_of("-_"));
    for (size_t at = lower.find_first_of("-_"); at != std::string::npos;) {
        const size_t next = lower.find_first_of("-_", at + 1);
        const std::string sub =
            lower.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        if (sub.size() == 4)
            return scripts.count(sub) != 0;  // the script decides: "ku-Latn" is left to right
        at = next;
    }
    return languages.count(primary) != 0;
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
    std::set<std::string> seenRendition;  // the first of each rendition property counts
    for (pugi::xml_node meta : xml::Descendants(metadata, xml::kOpf, "meta")) {
        const std::string property = xml::Attribute(meta, "property");
        const std::string refines = xml::Attribute(meta, "refines");
        const std::string text = xml::Text(meta);
        if (property == "title-type" && text == "main" && refines.size() > 1 && refines[0] == '#')
            mainTitles.insert(refines.substr(1));
        if (property.rfind("rendition:", 0) != 0 || !refines.empty() ||
            !seenRendition.insert(property).second)
            continue;
        auto refuse = [&](const char* used) {
            layoutWarnings_.push_back(
                util::FormatString("the package document's %s \"%s\" is not a value it can take; %s applies",
                                   property, text, used));
        };
        if (property == "rendition:layout") {
            fixedLayout = text == "pre-paginated";
            if (!fixedLayout && text != "reflowable")
                refuse("reflowable");
        } else if (property == "rendition:spread") {
            if (text == "none" || text == "auto" || text == "both" || text == "landscape" ||
                text == "portrait")
                spread_ = text;
            else
                refuse("auto");
        } else if (property == "rendition:flow") {
            rendition_.scrolled = text == "scrolled-doc" || text == "scrolled-continuous";
            if (!rendition_.scrolled && text != "paginated" && text != "auto")
                refuse("auto");
        } else if (property == "rendition:viewport") {
            rendition_.viewport = ParseViewport(text);
            if (!rendition_.viewport.Valid())
                refuse("each document's own");
        }
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
        item.fallback = xml::Attribute(node, "fallback");
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
    Rendition& rendition = book->rendition_;
    rendition.spreads = fixedLayout && book->spread_ != "none";
    const std::string progression = xml::Attribute(spine, "page-progression-direction");
    rendition.rightToLeft = progression == "rtl" || ((progression.empty() || progression == "default") &&
                                                     IsRightToLeftLanguage(book->language_));
    if (!progression.empty() && progression != "rtl" && progression != "ltr" && progression != "default") {
        book->layoutWarnings_.push_back(util::FormatString(
            "the spine's page-progression-direction \"%s\" is not a value it can take; the default applies",
            progression));
    }
    std::set<std::string> seen;
    for (pugi::xml_node itemref : xml::Children(spine, xml::kOpf, "itemref")) {
        auto it = manifest.find(xml::Attribute(itemref, "idref"));
        if (it == manifest.end() || it->second.path.empty())
            continue;
        // An item that cannot be shown (or is not there) stands for its fallback, when it names one that can.
        const ManifestItem* shown = &it->second;
        for (int hops = 0; hops < 16 && (!shown->exists || !IsPrintable(*shown)) && !shown->fallback.empty();
             ++hops) {
            auto next = manifest.find(shown->fallback);
            if (next == manifest.end() || next->second.path.empty())
                break;
            shown = &next->second;
        }
        if (!shown->exists || !IsPrintable(*shown))
            shown = &it->second;
        const ManifestItem& item = *shown;
        if (!item.inside)
            continue;
        if (!item.exists) {
            book->missingFiles_.push_back(item.href);
            continue;
        }
        const bool image = !IsPrintable(item) && IsImage(item);
        if (!IsPrintable(item) && !image) {
            book->unprintable_.push_back(
                item.href + " (" + (item.mediaType.empty() ? std::string("no media type") : item.mediaType) +
                ")");
            continue;
        }
        if (!seen.insert(item.path).second)
            continue;  // printed once, where the spine first names it
        Chapter chapter;
        chapter.path = item.path;
        chapter.mediaType = item.mediaType;
        chapter.fixedLayout = fixedLayout;
        chapter.image = image;
        // The book's layout, unless the itemref says otherwise (the first layout it names counts).
        const std::string properties = xml::Attribute(itemref, "properties");
        std::istringstream words(properties);
        for (std::string property; words >> property;) {
            if (property == "rendition:layout-pre-paginated" || property == "rendition:layout-reflowable") {
                chapter.fixedLayout = property == "rendition:layout-pre-paginated";
                break;
            }
        }
        chapter.centred = xml::HasToken(properties, "rendition:align-x-center");
        chapter.scrolled = rendition.scrolled && !chapter.fixedLayout;
        const std::pair<const char*, PageSide> sides[] = {
            {"page-spread-left", PageSide::Left},
            {"page-spread-right", PageSide::Right},
            {"rendition:page-spread-left", PageSide::Left},
            {"rendition:page-spread-right", PageSide::Right},
            {"rendition:page-spread-center", PageSide::Center},
        };
        for (const auto& [name, side] : sides) {
            if (!xml::HasToken(properties, name))
                continue;
            if (rendition.spreads) {
                chapter.side = side;
            } else {
                book->layoutWarnings_.push_back(
                    util::FormatString("the spine item %s asks for %s, but the book is not laid out in "
                                       "spreads; it stays a single page",
                                       item.href, name));
            }
            break;
        }
        book->chapters_.push_back(std::move(chapter));
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
