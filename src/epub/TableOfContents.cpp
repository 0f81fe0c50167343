#include "epub/TableOfContents.h"

#include <utility>
#include <vector>

#include "epub/EpubBook.h"
#include "epub/XmlFile.h"
#include "epub/XmlNames.h"
#include "util/Files.h"
#include "util/Paths.h"

namespace epub {
namespace {

// Reads a tree depth-first in file order with an explicit stack, so that hostile nesting cannot exhaust
// the thread's stack; entries below kMaxDepth are dropped with their subtrees. items(node) lists the
// element nodes of node's child entries; make(item, level) makes the entry of one.
template <typename Items, typename Make>
void ReadTree(pugi::xml_node top, TocEntry& root, Items items, Make make) {
    struct Frame {
        pugi::xml_node item;
        TocEntry* parent;
    };
    std::vector<Frame> stack;
    auto pushChildren = [&](pugi::xml_node parentNode, TocEntry* parent) {
        std::vector<pugi::xml_node> children = items(parentNode);
        for (size_t i = children.size(); i > 0; --i) stack.push_back({children[i - 1], parent});
    };
    pushChildren(top, &root);
    while (!stack.empty()) {
        Frame frame = stack.back();
        stack.pop_back();
        std::shared_ptr<TocEntry> entry = make(frame.item, frame.parent->level + 1);
        frame.parent->children.push_back(entry);
        if (entry->level < TableOfContents::kMaxDepth)
            pushChildren(frame.item, entry.get());
    }
}

// A heading without a link takes the target of its first descendant that has one (depth is bounded by
// kMaxDepth).
void TargetHeadings(TocEntry& entry) {
    for (const auto& child : entry.children) TargetHeadings(*child);
    if (!entry.target.empty() || entry.level == 0)
        return;
    for (const auto& child : entry.children) {
        if (!child->target.empty()) {
            entry.target = child->target;
            entry.file = child->file;
            entry.fragment = child->fragment;
            return;
        }
    }
}

const TocEntry* Find(const TocEntry& entry, const std::string& file, const std::string& fragment) {
    for (const auto& child : entry.children) {
        if (child->file == file && child->fragment == fragment && !child->label.empty())
            return child.get();
        if (const TocEntry* found = Find(*child, file, fragment))
            return found;
    }
    return nullptr;
}

bool HasEntries(const std::shared_ptr<TableOfContents>& toc) {
    return toc && !toc->GetRoot()->children.empty();
}

}  // namespace

std::shared_ptr<TableOfContents> TableOfContents::Create(const std::string& path) {
    const std::string fullPath = util::ToFullPath(path);
    if (path.empty() || !util::FileExists(fullPath))
        return nullptr;
    auto toc = std::shared_ptr<TableOfContents>(new TableOfContents());
    toc->path_ = fullPath;
    toc->folder_ = util::GetFolderOf(fullPath);
    toc->root_ = std::make_shared<TocEntry>();
    return toc;
}

std::shared_ptr<TableOfContents> TableOfContents::Load(const std::string& ncxPath) {
    auto toc = Create(ncxPath);
    if (!toc)
        return nullptr;
    XmlFile xml(toc->path_);
    toc->problem_ = xml.Problem();
    if (pugi::xml_node title = xml::Descendant(xml.Document(), xml::kNcx, "docTitle"))
        toc->docTitle_ = xml::Text(title);

    const std::string& folder = toc->folder_;
    ReadTree(
        xml::Descendant(xml.Document(), xml::kNcx, "navMap"), *toc->root_,
        [](pugi::xml_node n) { return xml::Children(n, xml::kNcx, "navPoint"); },
        [&folder](pugi::xml_node point, int level) {
            auto entry = std::make_shared<TocEntry>();
            pugi::xml_node label = xml::Child(point, xml::kNcx, "navLabel");
            pugi::xml_node text = xml::Child(label, xml::kNcx, "text");
            entry->label = xml::Text(text ? text : label);
            entry->target = xml::Attribute(xml::Child(point, xml::kNcx, "content"), "src");
            if (!entry->target.empty())
                entry->Resolve(folder);
            entry->level = level;
            return entry;
        });
    return toc;
}

std::shared_ptr<TableOfContents> TableOfContents::LoadNav(const std::string& navPath) {
    auto toc = Create(navPath);
    if (!toc)
        return nullptr;
    XmlFile xml(toc->path_);
    toc->problem_ = xml.Problem();
    if (pugi::xml_node title = xml::Descendant(xml.Document(), xml::kXhtml, "title"))
        toc->docTitle_ = xml::Text(title);

    // The nav whose epub:type is "toc"; a document whose navs say nothing of their type gives its first.
    pugi::xml_node nav;
    pugi::xml_node firstUntyped;
    for (pugi::xml_node n : xml::Descendants(xml.Document(), xml::kXhtml, "nav")) {
        const std::string type = xml::AttributeNs(n, xml::kOps, "type");
        if (xml::HasToken(type, "toc")) {
            nav = n;
            break;
        }
        if (type.empty() && !firstUntyped)
            firstUntyped = n;
    }
    if (!nav)
        nav = firstUntyped;

    const std::string& folder = toc->folder_;
    ReadTree(
        xml::Descendant(nav, xml::kXhtml, "ol"), *toc->root_,
        [](pugi::xml_node n) {
            // Below the top list, an entry's children are the items of the list inside its li.
            pugi::xml_node list = xml::Is(n, xml::kXhtml, "ol") ? n : xml::Child(n, xml::kXhtml, "ol");
            return xml::Children(list, xml::kXhtml, "li");
        },
        [&folder](pugi::xml_node li, int level) {
            auto entry = std::make_shared<TocEntry>();
            pugi::xml_node head = xml::Child(li, xml::kXhtml, "a");
            if (!head)
                head = xml::Child(li, xml::kXhtml, "span");
            entry->label = xml::Text(head);
            if (xml::Is(head, xml::kXhtml, "a"))
                entry->target = xml::Attribute(head, "href");
            if (!entry->target.empty())
                entry->Resolve(folder);
            entry->level = level;
            return entry;
        });
    TargetHeadings(*toc->root_);
    return toc;
}

std::shared_ptr<TableOfContents> TableOfContents::ForBook(const EpubBook& book) {
    std::shared_ptr<TableOfContents> broken;  // the first that could not be read whole, to say so
    for (int source = 0; source < 3; ++source) {
        std::shared_ptr<TableOfContents> toc = source == 0   ? Load(book.GetNcxPath())
                                               : source == 1 ? LoadNav(book.GetNavPath())
                                                             : Load(book.GetPackageFolder() + "toc.ncx");
        if (HasEntries(toc))
            return toc;
        if (toc && !toc->problem_.empty() && !broken)
            broken = toc;
    }
    return broken;
}

std::string TableOfContents::ResolveTarget(const std::string& target) const {
    TocEntry entry;
    entry.target = target;
    entry.Resolve(folder_);
    return entry.file;
}

std::string TableOfContents::FindLabel(const std::string& file, const std::string& fragment) const {
    const TocEntry* found = Find(*root_, file, fragment);
    return found == nullptr ? std::string() : found->label;
}

}  // namespace epub
