// A book's NCX navigation tree, and the resolution of an entry's target to the file it names.
#pragma once

#include <memory>
#include <string>

#include "epub/TocEntry.h"

namespace epub {

class TableOfContents {
  public:
    // Navigation points nested deeper than this are left out together with their subtrees.
    static constexpr int kMaxDepth = 64;

    // Reads the NCX file; null when it does not exist.
    static std::shared_ptr<TableOfContents> Load(const std::string& ncxPath);

    // The root (empty label and target, level 0); the caller may edit its list of children.
    std::shared_ptr<TocEntry> GetRoot() const { return root_; }
    const std::string& GetDocTitle() const { return docTitle_; }
    // Empty when the NCX is well-formed XML; otherwise what is wrong and where.
    const std::string& GetProblem() const { return problem_; }
    // The NCX file's folder, ending in '/'.
    const std::string& GetFolder() const { return folder_; }
    // The absolute path of the file a target names: query and fragment cut, percent-decoded, joined to
    // the NCX folder.
    std::string ResolveTarget(const std::string& target) const;

  private:
    std::string ncxPath_;
    std::string docTitle_;
    std::string problem_;
    std::string folder_;
    std::shared_ptr<TocEntry> root_;
};

}  // namespace epub
