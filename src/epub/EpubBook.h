// The book model read from one package document: title, creators, chapter files in reading order and
// the guide references. Complete when Load returns; holds no open file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "epub/TocEntry.h"

namespace epub {

class EpubBook {
  public:
    // Reads the package document; null when it does not exist. Chapter files that resolve outside
    // bookFolder (default: the package document's folder) are left out.
    static std::shared_ptr<EpubBook> Load(const std::string& packagePath, const std::string& bookFolder = {});

    const std::string& GetTitle() const { return title_; }
    // All creators joined by ",".
    const std::string& GetCreator() const { return creator_; }
    // Absolute paths of the existing chapter files in spine order.
    const std::vector<std::string>& GetChapterFiles() const { return chapterFiles_; }
    std::shared_ptr<TocEntry> GetCoverRef() const { return coverRef_; }
    std::shared_ptr<TocEntry> GetTocRef() const { return tocRef_; }
    const std::vector<std::shared_ptr<TocEntry>>& GetTextRefs() const { return textRefs_; }
    // Empty when the package document is well-formed XML; otherwise what is wrong and where (what
    // followed that point is not read).
    const std::string& GetProblem() const { return problem_; }
    // Spine files (as named by the manifest) that the book does not hold; they are left out.
    const std::vector<std::string>& GetMissingFiles() const { return missingFiles_; }
    const std::string& GetPackagePath() const { return packagePath_; }
    const std::string& GetPackageFolder() const { return packageFolder_; }

  private:
    std::string packagePath_;
    std::string packageFolder_;
    std::vector<std::string> chapterFiles_;
    std::vector<std::string> missingFiles_;
    std::string problem_;
    std::string title_;
    std::string creator_;
    std::shared_ptr<TocEntry> coverRef_;
    std::shared_ptr<TocEntry> tocRef_;
    std::vector<std::shared_ptr<TocEntry>> textRefs_;
};

}  // namespace epub
