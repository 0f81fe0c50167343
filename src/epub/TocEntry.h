// One entry of a book's navigation tree: an NCX navigation point, a navigation document entry, or a
// guide reference.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace epub {

struct TocEntry {
    TocEntry() = default;
    // An entry built from a label and a target is a top-level entry (level 1).
    TocEntry(std::string l, std::string t) : label(std::move(l)), target(std::move(t)), level(1) {}
    virtual ~TocEntry() = default;

    std::string label;     // text shown in the outline
    std::string target;    // the reference as written in the document, not resolved, not decoded
    std::string file;      // the absolute path the target names (query and fragment cut, decoded)
    std::string fragment;  // the target's fragment, decoded, without '#'; empty when it has none
    int level = 0;         // 0 for a tree root, 1 for top-level entries
    std::vector<std::shared_ptr<TocEntry>> children;

    // Sets file and fragment from target, relative to the folder of the document that holds it.
    void Resolve(const std::string& folder);
};

}  // namespace epub
