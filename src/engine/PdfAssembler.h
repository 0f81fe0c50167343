// Merges the chapter PDFs of one book into the output PDF, writes its document information, adds the
// outline built from the book's table of contents, and turns links between chapter files into links
// inside the document. The only user of the PDF library; one assembler per job, used by one thread.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace PoDoFo {
class PdfMemDocument;
}
namespace epub {
class EpubBook;
class TableOfContents;
}  // namespace epub

namespace engine {

// A PDF library failure (a chapter PDF that cannot be read, for instance), with the library's text.
class PdfError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One bookmark; the root has an empty title and only its children are written.
struct OutlineNode {
    std::string title;
    int page = 0;     // 1-based page in the merged document; 0 when not set
    double top = -1;  // the target's height on that page in points; below 0: the top of the page
    std::vector<std::shared_ptr<OutlineNode>> children;
};

// What the outline and link passes read of a conversion job: which chapter file was printed to which
// chapter PDF, and whether the job was cancelled.
struct ChapterMapView {
    const std::map<std::string, std::string>& chapterMap;  // chapter file path -> chapter PDF path
    const std::atomic<bool>& cancelled;

    // The chapter PDF of a chapter file, or an empty string when it was not printed.
    std::string PdfOf(const std::string& chapterPath) const {
        auto it = chapterMap.find(chapterPath);
        return it == chapterMap.end() ? std::string() : it->second;
    }
};

class PdfAssembler {
  public:
    // Also switches the PDF library's debug output and logging off.
    explicit PdfAssembler(const std::string& outputPath);
    ~PdfAssembler();
    PdfAssembler(const PdfAssembler&) = delete;
    PdfAssembler& operator=(const PdfAssembler&) = delete;

    // Appends the pages of a chapter PDF; throws PdfError when the file cannot be loaded.
    bool AddChapter(const std::string& pdfPath, const std::string& title);
    // The 1-based first page of a chapter PDF in the merged document; 0 for an unknown or empty path.
    int PageOf(const std::string& pdfPath) const;
    // Where an element of a chapter is in the merged document: its 1-based page and its top in points,
    // from the named destination the browser wrote for it. False when the chapter has no such element.
    bool Locate(const std::string& pdfPath, const std::string& fragment, int& page, double& top) const;
    // Title and author; creator and producer both become creatorText.
    bool SetInfo(const std::string& title, const std::string& author, const std::string& creatorText);
    // What the document says of itself besides: the book's language (the document's /Lang), every
    // creator, its identifier and date, written with the title into an XMP packet.
    void SetDescription(const std::string& language, const std::vector<std::string>& creators,
                        const std::string& identifier, const std::string& date);
    // Sheets to lay over the pages when the document is written: PDFs of one page per page of the
    // document (either may be empty), the footer's laid on each page's foot and the header's on its
    // head, centred across. A sheet that cannot be laid leaves every page as it was, and says why in
    // StampProblem.
    void SetStamps(const std::string& footerPdf, const std::string& headerPdf);
    const std::string& StampProblem() const { return stampProblem_; }
    // Whether every write stores the document compacted (see PdfCompactor.h); on by default. A document
    // that cannot be compacted is written as merged.
    void SetCompaction(bool on) { compact_ = on; }
    // Writes the merged document with its information and the outline (or, when outline is null, the
    // fallback outline of the titled chapters) in one piece. False when there is no document or writing
    // failed; the output then keeps its earlier state.
    bool Write(const std::shared_ptr<OutlineNode>& outline);
    // Makes every link between and within chapters an explicit destination at its target's page and
    // height (the top of the chapter's first page when it names no element); a link to a file that was
    // not printed, or to an element that does not exist, becomes no link (its text stays). Only http,
    // https and mailto links stay as they are; any other URI or action goes. In the merged document when
    // called before Write (for outputPath), else in the written file. False when cancelled or when the output
    // cannot be read or written.
    bool RewriteLinks(const ChapterMapView& job, const std::string& outputPath);

    int PageCount() const { return pageCursor_ - 1; }
    const std::string& LastError() const { return lastError_; }
    const std::string& OutputPath() const { return outputPath_; }

  private:
    struct Document;
    std::shared_ptr<OutlineNode> FallbackOutline();
    static void ApplyOutline(PoDoFo::PdfMemDocument& doc, const OutlineNode& root);
    bool LinkPass(PoDoFo::PdfMemDocument& doc, const ChapterMapView& job);

    int pageCursor_ = 1;
    std::string outputPath_;
    std::unique_ptr<Document> merged_;
    std::vector<std::string> chapterPdfs_;
    std::map<std::string, std::string> chapterTitles_;
    std::map<std::string, int> firstPage_;
    struct Spot {
        int page;  // 0-based within the chapter
        double top;
    };
    // Per chapter PDF, the named destinations the browser wrote: element id -> where.
    std::map<std::string, std::map<std::string, Spot>> destinations_;
    static std::map<std::string, Spot> ReadDestinations(PoDoFo::PdfMemDocument& doc);
    std::string title_, author_, creator_, producer_;
    std::string language_, identifier_, date_;
    std::vector<std::string> creators_;
    std::string lastError_;
    std::string footerPdf_, headerPdf_, stampProblem_;
    bool compact_ = true;
    void ApplyStamps();
};

// The outline of a book: its guide references (cover, toc, text) first, then the table of contents (or,
// when the book has none, one entry per chapter titled by the chapter), each entry pointing to the first
// page of its chapter; entries whose file was not printed are dropped with their subtrees. Null when the
// job was cancelled.
std::shared_ptr<OutlineNode> BuildOutline(const PdfAssembler& assembler, const epub::EpubBook& book,
                                          const epub::TableOfContents* toc, const ChapterMapView& job);

}  // namespace engine
