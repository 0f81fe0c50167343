// The document's outline (its bookmarks): a tree of titled places, written in place of the bookmarks
// that came with the chapters.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "util/Status.h"

namespace PoDoFo {
class PdfMemDocument;
}

namespace pdf {

class Chapters;

// One bookmark; the root has an empty title and only its children are written.
struct OutlineNode {
    std::string title;
    int page = 0;     // 1-based page in the merged document; 0 when not set
    double top = -1;  // the target's height on that page in points; below 0: the top of the page
    std::vector<std::shared_ptr<OutlineNode>> children;
};

// One bookmark per chapter that has a title, at its first page.
std::shared_ptr<OutlineNode> ChapterOutline(const Chapters& chapters);
// Replaces the bookmarks of doc by root's children (those that came with the chapters go); a node whose
// page is not in the document points to the top of page 1. On failure the bookmarks are dropped again,
// and the reason says why.
util::Status WriteOutline(PoDoFo::PdfMemDocument& doc, const OutlineNode& root);

}  // namespace pdf
