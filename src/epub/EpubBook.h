// The book model read from one package document: metadata, chapter files in reading order, where its
// tables of contents are, and the references to its cover, contents page and main text. Elements are
// read by namespace, whatever prefix the file binds. Complete when Load returns; holds no open file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "epub/ChapterDocument.h"
#include "epub/TocEntry.h"

namespace epub {

// The side of a two-page spread a spine item asks to begin on.
enum class PageSide { Any, Left, Right, Center };

// One spine item that is printed.
struct Chapter {
    std::string path;          // absolute
    std::string mediaType;     // as the manifest says
    bool fixedLayout = false;  // pre-paginated: one page of the document's own size
    bool image = false;        // a picture in the spine, shown as a page of its own
    bool centred = false;      // its content is centred horizontally on the page
    bool scrolled = false;     // reflowable in a scrolled book: one page as tall as its content
    PageSide side = PageSide::Any;
    Viewport viewport;  // pre-paginated: the size it is printed at (left to the reader of the book)
};

// How the book asks to be presented as a whole.
struct Rendition {
    bool spreads = false;      // two pages side by side: pre-paginated, and its spreads not "none"
    bool rightToLeft = false;  // pages progress from right to left
    bool scrolled = false;     // reflowable documents scroll rather than turn pages
    Viewport viewport;         // rendition:viewport, for pre-paginated documents that declare none
};

class EpubBook {
  public:
    // Reads the package document; null when it does not exist. Chapter files that resolve outside
    // bookFolder (default: the package document's folder) are left out.
    static std::shared_ptr<EpubBook> Load(const std::string& packagePath, const std::string& bookFolder = {});

    // The main title: the one refined as title-type "main" where a title says so, else the first.
    const std::string& GetTitle() const { return title_; }
    // All creators joined by ",".
    const std::string& GetCreator() const { return creator_; }
    const std::vector<std::string>& GetCreators() const { return creators_; }
    // The first dc:language, as written ("en-US"); empty when there is none.
    const std::string& GetLanguage() const { return language_; }
    // The package's unique identifier (else its first dc:identifier), and its first dc:date, as written.
    const std::string& GetIdentifier() const { return identifier_; }
    const std::string& GetDate() const { return date_; }
    // The printed chapters in spine order; a file named twice by the spine is printed once.
    const std::vector<Chapter>& GetChapters() const { return chapters_; }
    // Absolute paths of the chapters, in spine order.
    std::vector<std::string> GetChapterFiles() const;
    std::shared_ptr<TocEntry> GetCoverRef() const { return coverRef_; }
    std::shared_ptr<TocEntry> GetTocRef() const { return tocRef_; }
    const std::vector<std::shared_ptr<TocEntry>>& GetTextRefs() const { return textRefs_; }
    // The NCX: the manifest item named by the spine's toc attribute, else the manifest's NCX item;
    // absolute, empty when the manifest names none that exists.
    const std::string& GetNcxPath() const { return ncxPath_; }
    // The EPUB 3 navigation document (the manifest item with property "nav"); absolute, or empty.
    const std::string& GetNavPath() const { return navPath_; }
    // Empty when the package document is well-formed XML; otherwise what is wrong and where (what
    // followed that point is not read).
    const std::string& GetProblem() const { return problem_; }
    // Spine files (as named by the manifest) that the book does not hold as files (absent, or a folder);
    // they are left out.
    const std::vector<std::string>& GetMissingFiles() const { return missingFiles_; }
    // Spine items that a browser cannot show as a page ("cover.jpg (image/jpeg)"); they are left out.
    const std::vector<std::string>& GetUnprintableItems() const { return unprintable_; }
    const Rendition& GetRendition() const { return rendition_; }
    // Layout properties that could not be honoured, one sentence each naming the item and the value
    // used instead.
    const std::vector<std::string>& GetLayoutWarnings() const { return layoutWarnings_; }
    const std::string& GetPackagePath() const { return packagePath_; }
    const std::string& GetPackageFolder() const { return packageFolder_; }

  private:
    // Reads title, creators and language, and the rendition properties; true when the book is
    // pre-paginated as a whole.
    bool ReadMetadata(const class XmlFile& xml);
    void ReadLandmarks();

    std::string packagePath_;
    std::string packageFolder_;
    std::vector<Chapter> chapters_;
    std::vector<std::string> missingFiles_;
    std::vector<std::string> unprintable_;
    std::vector<std::string> layoutWarnings_;
    Rendition rendition_;
    std::string spread_;  // the book's rendition:spread, checked
    std::string problem_;
    std::string title_;
    std::string creator_;
    std::vector<std::string> creators_;
    std::string language_;
    std::string identifier_;
    std::string date_;
    std::string ncxPath_;
    std::string navPath_;
    std::shared_ptr<TocEntry> coverRef_;
    std::shared_ptr<TocEntry> tocRef_;
    std::vector<std::shared_ptr<TocEntry>> textRefs_;
};

}  // namespace epub
