#include "epub/TableOfContents.h"

#include <utility>
#include <vector>

#include "epub/XmlFile.h"
#include "util/Utilities.h"

namespace epub {
namespace {

std::shared_ptr<TocEntry> MakeEntry(const XmlFile& xml, pugi::xml_node point, int level) {
    pugi::xml_node labelNode = xml.SelectNode("navLabel/text", point);
    pugi::xml_node contentNode = xml.SelectNode("content", point);
    auto entry = std::make_shared<TocEntry>();
    entry->label = XmlFile::GetText(labelNode);
    entry->target = XmlFile::GetAttribute(contentNode, "src");
    entry->level = level;
    return entry;
}

}  // namespace

std::shared_ptr<TableOfContents> TableOfContents::Load(const std::string& ncxPath) {
    const std::string fullPath = util::ToFullPath(ncxPath);
    if (!util::FileExists(fullPath))
        return nullptr;

    auto toc = std::shared_ptr<TableOfContents>(new TableOfContents());
    toc->ncxPath_ = fullPath;
    toc->folder_ = util::GetFolderOf(fullPath);
    toc->root_ = std::make_shared<TocEntry>();

    XmlFile xml(fullPath);
    toc->problem_ = xml.Problem();
    if (pugi::xml_node title = xml.SelectNode("//docTitle/text"))
        toc->docTitle_ = XmlFile::GetText(title);

    // Depth-first in file order with an explicit stack, so that hostile nesting cannot exhaust the
    // thread's stack; points below kMaxDepth are dropped with their subtrees.
    struct Frame {
        pugi::xml_node point;
        TocEntry* parent;
    };
    std::vector<Frame> stack;
    auto pushChildren = [&](pugi::xml_node parentNode, TocEntry* parent) {
        pugi::xpath_node_set points = xml.SelectNodes("navPoint", parentNode);
        for (size_t i = points.size(); i > 0; --i) stack.push_back({points[i - 1].node(), parent});
    };
    pushChildren(xml.SelectNode("//navMap"), toc->root_.get());
    while (!stack.empty()) {
        Frame frame = stack.back();
        stack.pop_back();
        auto entry = MakeEntry(xml, frame.point, frame.parent->level + 1);
        frame.parent->children.push_back(entry);
        if (entry->level < kMaxDepth)
            pushChildren(frame.point, entry.get());
    }
    return toc;
}

std::string TableOfContents::ResolveTarget(const std::string& target) const {
    return util::JoinPath(folder_, util::PercentDecode(util::CutQueryAndFragment(target)));
}

}  // namespace epub
