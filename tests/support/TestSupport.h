// Helpers shared by the test suites: scratch folders, files and running real tools.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder below the system temp folder, removed with its contents on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  private:
    std::string path_;
};

// Writes content to path, creating missing parent folders.
void WriteFile(const std::string& path, const std::string& content);
// The whole content of a file, or an empty string.
std::string ReadFile(const std::string& path);

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};
// Runs a shell command and collects what it prints.
CommandResult RunCommand(const std::string& command);
// Quotes text for the shell.
std::string ShellQuote(const std::string& text);
// True when a program of that name is on PATH.
bool HaveProgram(const std::string& name);

// What qpdf reads from a PDF: pages, info, outline tree and link annotations (support/pdf_summary.py).
nlohmann::json PdfSummary(const std::string& pdfPath);
// What qpdf --check says of a PDF that does not check clean (an error or any warning); empty when it
// checks clean.
std::string PdfCheckProblems(const std::string& pdfPath);
// The same for every PDF below folder (each file that begins with "%PDF-"), each under its path; empty
// when they all check clean. Every test that converts books runs it over its output when it ends.
std::string UncleanPdfs(const std::string& folder);
// What tests/support/landing.py counts of a book's PDF: whether its bookmarks and links land on their
// targets' pages, links missing, dead links and file: URLs; null when it could not run.
nlohmann::json Landing(const std::string& epubPath, const std::string& pdfPath);
// An outline of PdfSummary reduced to titles, pages and (where there are any) kids.
nlohmann::json OutlineTitles(const nlohmann::json& outline);
// The text of a PDF as poppler's pdftotext extracts it.
std::string PdfText(const std::string& pdfPath);
// The font objects of a PDF by face (the name without its subset tag), as poppler's pdffonts lists them;
// fonts without a subset tag are not listed.
std::map<std::string, std::set<std::string>> FontsByFace(const std::string& pdfPath);
// Whether two PDFs render (pdftoppm, grey) to the same pixels on each of their first `pages` pages, none
// of them blank; when not, says which page and why. folder holds the images.
std::string RenderingDifference(const std::string& before, const std::string& after, int pages,
                                const std::string& folder);

// Writes the small books of tests/engine/make_books.py into folder + "/books", and the file outside
// them that one book reaches for into folder + "/secret.txt".
CommandResult MakeTestBooks(const std::string& folder);

// Paths of the repository and its test data.
std::string SourceDir();
std::string TestDataDir();
std::string CorpusDir();
// The W3C EPUB 3 reading-system test books, one EPUB file each.
std::string W3cDir();

}  // namespace testing_support
