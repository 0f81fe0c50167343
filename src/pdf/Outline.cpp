#include "pdf/Outline.h"

#include "pdf/Chapters.h"
#include "pdf/Objects.h"

namespace pdf {
namespace {

void AddNode(PoDoFo::PdfMemDocument& doc, PoDoFo::PdfOutlines* outlines, PoDoFo::PdfOutlineItem* parent,
             const OutlineNode& node, int pageCount) {
    int p = node.page;
    double top = node.top;
    if (p < 1 || p > pageCount) {
        p = 1;
        top = -1;
    }
    PoDoFo::PdfDestination dest = At(doc.GetPage(p - 1), top);
    PoDoFo::PdfOutlineItem* item;
    if (parent == nullptr) {
        item = outlines->CreateRoot(Text(node.title));
        item->SetDestination(dest);
    } else {
        item = parent->CreateChild(Text(node.title), dest);
    }
    for (const auto& child : node.children) AddNode(doc, outlines, item, *child, pageCount);
}

void Replace(PoDoFo::PdfMemDocument& doc, const OutlineNode& root) {
    const int pageCount = doc.GetPageCount();
    PoDoFo::PdfOutlines* outlines = doc.GetOutlines(true);
    while (outlines->First() != nullptr) outlines->First()->Erase();  // the chapters' own bookmarks go
    for (const auto& child : root.children) AddNode(doc, outlines, nullptr, *child, pageCount);
}

}  // namespace

std::shared_ptr<OutlineNode> ChapterOutline(const Chapters& chapters) {
    auto root = std::make_shared<OutlineNode>();
    for (const Chapters::Chapter& chapter : chapters.InOrder()) {
        if (chapter.title.empty())
            continue;
        auto node = std::make_shared<OutlineNode>();
        node->title = chapter.title;
        node->page = chapter.firstPage;
        root->children.push_back(node);
    }
    return root;
}

util::Status WriteOutline(PoDoFo::PdfMemDocument& doc, const OutlineNode& root) {
    util::Status written = Guarded("the bookmarks could not be written", [&] { Replace(doc, root); });
    if (!written)
        (void)Guarded("", [&] { Replace(doc, OutlineNode{}); });  // none rather than some
    return written;
}

}  // namespace pdf
