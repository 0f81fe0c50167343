#include "engine/BookOutline.h"

#include "epub/ChapterDocument.h"
#include "epub/EpubBook.h"
#include "epub/TableOfContents.h"
#include "util/Paths.h"

namespace engine {
namespace {

struct Walk {
    const pdf::Assembler& assembler;
    const pdf::ChapterFiles& printed;
    const std::atomic<bool>& cancelled;

    void Add(pdf::OutlineNode& parent, const epub::TocEntry& entry) const {
        auto file = printed.find(entry.file);
        if (file == printed.end() || file->second.empty())
            return;  // not printed, or not in the spine: the whole subtree goes
        const std::string& pdf = file->second;
        auto node = std::make_shared<pdf::OutlineNode>();
        node->title = entry.label;
        node->page = assembler.PageOf(pdf);
        // At the element the entry names (by its reference's fragment as written, which the assembler
        // also decodes); where the chapter lacks it, at the chapter's start.
        if (!entry.fragment.empty()) {
            const size_t hash = entry.target.find('#');
            const std::string_view fragment = hash == std::string::npos
                                                  ? std::string_view(entry.fragment)
                                                  : std::string_view(entry.target).substr(hash + 1);
            if (const std::optional<pdf::Place> place = assembler.Locate(pdf, fragment)) {
                node->page = place->page;
                node->top = place->top;
            }
        }
        parent.children.push_back(node);
        for (const auto& child : entry.children) {
            if (cancelled)
                return;
            Add(*node, *child);
        }
    }
};

}  // namespace

std::shared_ptr<pdf::OutlineNode> BuildOutline(const pdf::Assembler& assembler, const epub::EpubBook& book,
                                               const epub::TableOfContents* toc,
                                               const pdf::ChapterFiles& printed,
                                               const std::atomic<bool>& cancelled) {
    const Walk walk{assembler, printed, cancelled};
    auto root = std::make_shared<pdf::OutlineNode>();

    // The guide's references first; one without a title takes the label that the table of contents
    // gives the same target, or is left out.
    std::vector<std::shared_ptr<epub::TocEntry>> guide;
    if (auto cover = book.GetCoverRef())
        guide.push_back(cover);
    if (auto tocRef = book.GetTocRef())
        guide.push_back(tocRef);
    for (const auto& text : book.GetTextRefs()) guide.push_back(text);
    for (const auto& reference : guide) {
        epub::TocEntry entry = *reference;
        if (entry.label.empty() && toc != nullptr)
            entry.label = toc->FindLabel(entry.file, entry.fragment);
        if (!entry.label.empty())
            walk.Add(*root, entry);
    }

    if (toc != nullptr) {
        for (const auto& entry : toc->GetRoot()->children) {
            if (cancelled)
                break;
            walk.Add(*root, *entry);
        }
    } else {
        // No table of contents: one bookmark per printed chapter, titled as the chapter titles itself.
        for (const epub::Chapter& chapter : book.GetChapters()) {
            if (cancelled)
                break;
            epub::TocEntry entry(epub::ReadDocumentTitle(chapter.path), chapter.path);
            entry.file = chapter.path;
            if (entry.label.empty())
                entry.label = util::GetFileName(chapter.path, false);
            walk.Add(*root, entry);
        }
    }
    if (cancelled)
        return nullptr;
    return root;
}

}  // namespace engine
