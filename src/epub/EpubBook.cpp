#include "epub/EpubBook.h"

#include <unordered_map>

#include "epub/XmlFile.h"
#include "util/Utilities.h"

namespace epub {
namespace {

std::shared_ptr<TocEntry> GuideReference(const XmlFile& xml, const char* type) {
    pugi::xml_node node = xml.SelectNode(util::FormatString("//guide/reference[@type=\"%s\"]", type));
    std::string target = XmlFile::GetAttribute(node, "href");
    if (target.empty())
        return nullptr;
    return std::make_shared<TocEntry>(XmlFile::GetAttribute(node, "title"), target);
}

}  // namespace

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

    book->title_ = XmlFile::GetText(xml.SelectNode("//dc:title"));

    bool first = true;
    for (const pugi::xpath_node& creator : xml.SelectNodes("//dc:creator")) {
        if (!first)
            book->creator_ += ',';
        book->creator_ += XmlFile::GetText(creator.node());
        first = false;
    }

    // The manifest item of each itemref: the first "//manifest/item" with that id, in document order,
    // looked up in a table made once rather than by one query per itemref (a spine of many thousand
    // items would otherwise take quadratic time).
    std::unordered_map<std::string, std::string> hrefs;
    for (const pugi::xpath_node& item : xml.SelectNodes("//manifest/item")) {
        hrefs.emplace(XmlFile::GetAttribute(item.node(), "id"), XmlFile::GetAttribute(item.node(), "href"));
    }
    for (const pugi::xpath_node& item : xml.SelectNodes("//spine/itemref")) {
        auto it = hrefs.find(XmlFile::GetAttribute(item.node(), "idref"));
        const std::string href = it == hrefs.end() ? std::string() : it->second;
        if (href.empty())
            continue;
        // Hrefs are URLs: "ch%201.xhtml" names the file "ch 1.xhtml".
        const std::string file = util::JoinPath(book->packageFolder_, util::PercentDecode(href));
        if (!util::IsInsideFolder(file, root))
            continue;
        if (util::FileExists(file)) {
            book->chapterFiles_.push_back(file);
        } else {
            book->missingFiles_.push_back(href);
        }
    }

    book->coverRef_ = GuideReference(xml, "cover");
    book->tocRef_ = GuideReference(xml, "toc");
    for (const pugi::xpath_node& node : xml.SelectNodes("//guide/reference[@type=\"text\"]")) {
        std::string target = XmlFile::GetAttribute(node.node(), "href");
        if (target.empty())
            continue;
        book->textRefs_.push_back(
            std::make_shared<TocEntry>(XmlFile::GetAttribute(node.node(), "title"), target));
    }
    return book;
}

}  // namespace epub
