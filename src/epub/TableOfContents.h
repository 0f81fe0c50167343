// A book's table of contents: the tree of its NCX, or of its EPUB 3 navigation document, with every
// entry's target resolved to the file it names.
#pragma once

#include <memory>
#include <string>

#include "epub/TocEntry.h"

namespace epub {

class EpubBook;

class TableOfContents {
  public:
    // Entries nested deeper than this are left out together with their subtrees.
    static constexpr int kMaxDepth = 64;

    // Reads an NCX file; null when it does not exist.
    static std::shared_ptr<TableOfContents> Load(const std::string& ncxPath);
    // Reads the "toc" nav of an EPUB 3 navigation document; null when the file does not exist. An entry
    // that is a heading without a link points where its first linked descendant does.
    static std::shared_ptr<TableOfContents> LoadNav(const std::string& navPath);
    // The book's own table of contents, the first of these that exists and has entries: the NCX the
    // package names, the navigation document, "toc.ncx" beside the package document. Null when the book
    // has none.
    static std::shared_ptr<TableOfContents> ForBook(const EpubBook& book);

    // The root (empty label and target, level 0); the caller may edit its list of children.
    std::shared_ptr<TocEntry> GetRoot() const { return root_; }
    const std::string& GetDocTitle() const { return docTitle_; }
    // Empty when the file is well-formed XML; otherwise what is wrong and where.
    const std::string& GetProblem() const { return problem_; }
    // The file read, absolute.
    const std::string& GetPath() const { return path_; }
    // The file's folder, ending in '/'.
    const std::string& GetFolder() const { return folder_; }
    // The absolute path of the file a target names: query and fragment cut, percent-decoded, joined to
    // the folder.
    std::string ResolveTarget(const std::string& target) const;
    // The label of the first entry that points at file and fragment; empty when none does.
    std::string FindLabel(const std::string& file, const std::string& fragment) const;

  private:
    static std::shared_ptr<TableOfContents> Create(const std::string& path);

    std::string path_;
    std::string docTitle_;
    std::string problem_;
    std::string folder_;
    std::shared_ptr<TocEntry> root_;
};

}  // namespace epub
