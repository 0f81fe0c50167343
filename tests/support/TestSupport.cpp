#include "support/TestSupport.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "epub2pdf-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files and folders made by a test must not keep the folder alive.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow,
                        ec);
    }
    fs::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + ShellQuote(name)).exitCode == 0;
}

nlohmann::json PdfSummary(const std::string& pdfPath) {
    CommandResult r = RunCommand("python3 " + ShellQuote(SourceDir() + "/tests/support/pdf_summary.py") +
                                 " " + ShellQuote(pdfPath) + " 2>/dev/null");
    if (r.exitCode != 0)
        return nlohmann::json();
    return nlohmann::json::parse(r.output, nullptr, false);
}

std::string PdfCheckProblems(const std::string& pdfPath) {
    CommandResult r = RunCommand("qpdf --check " + ShellQuote(pdfPath));
    if (r.exitCode == 0 && r.output.find("WARNING") == std::string::npos)
        return {};
    return "qpdf --check exits with " + std::to_string(r.exitCode) + ":\n" + r.output.substr(0, 2000);
}

std::string UncleanPdfs(const std::string& folder) {
    std::string problems;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        std::ifstream in(it->path(), std::ios::binary);
        char head[5] = {};
        if (!in.read(head, sizeof head) || std::string(head, sizeof head) != "%PDF-")
            continue;
        if (std::string problem = PdfCheckProblems(it->path().string()); !problem.empty())
            problems += it->path().string() + ": " + problem + "\n";
    }
    return problems;
}

nlohmann::json Landing(const std::string& epubPath, const std::string& pdfPath) {
    CommandResult r = RunCommand("python3 " + ShellQuote(SourceDir() + "/tests/support/landing.py") + " " +
                                 ShellQuote(epubPath) + " " + ShellQuote(pdfPath) + " 2>/dev/null");
    if (r.exitCode != 0)
        return nlohmann::json();
    return nlohmann::json::parse(r.output, nullptr, false);
}

nlohmann::json OutlineTitles(const nlohmann::json& outline) {
    nlohmann::json result = nlohmann::json::array();
    for (const auto& item : outline) {
        nlohmann::json entry = {{"title", item["title"]}, {"page", item["page"]}};
        if (!item["kids"].empty())
            entry["kids"] = OutlineTitles(item["kids"]);
        result.push_back(entry);
    }
    return result;
}

CommandResult MakeTestBooks(const std::string& folder) {
    WriteFile(folder + "/secret.txt", "TOP-SECRET-MARKER-4711\n");
    return RunCommand("python3 " + ShellQuote(SourceDir() + "/tests/engine/make_books.py") + " " +
                      ShellQuote(folder + "/books") + " " + ShellQuote(folder + "/secret.txt"));
}

std::string PdfText(const std::string& pdfPath) {
    return RunCommand("pdftotext -enc UTF-8 " + ShellQuote(pdfPath) + " - 2>/dev/null").output;
}

std::map<std::string, std::set<std::string>> FontsByFace(const std::string& pdfPath) {
    // pdffonts: name type encoding emb sub uni object ID
    std::map<std::string, std::set<std::string>> faces;
    std::istringstream lines(RunCommand("pdffonts " + ShellQuote(pdfPath)).output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        const std::vector<std::string> fields{std::istream_iterator<std::string>(words), {}};
        if (fields.size() > 3 && fields[0].find('+') == 6)
            faces[fields[0].substr(7)].insert(fields[fields.size() - 2]);
    }
    return faces;
}

std::string RenderingDifference(const std::string& before, const std::string& after, int pages,
                                const std::string& folder) {
    for (const auto& [pdf, prefix] : {std::pair{before, "before"}, std::pair{after, "after"}}) {
        auto rendered = RunCommand("pdftoppm -r 30 -gray -l " + std::to_string(pages) + " " +
                                   ShellQuote(pdf) + " " + ShellQuote(folder + "/" + prefix));
        if (rendered.exitCode != 0)
            return pdf + " does not render: " + rendered.output;
    }
    for (int page = 1; page <= pages; ++page) {
        // pdftoppm numbers the images with as many digits as the last page has.
        const std::string name = "-" + std::to_string(page) + ".pgm";
        const std::string drawnBefore = ReadFile(folder + "/before" + name),
                          drawnAfter = ReadFile(folder + "/after" + name);
        if (drawnBefore.empty() || drawnBefore != drawnAfter)
            return "page " + std::to_string(page) + " renders otherwise";
        const auto dark =
            std::count_if(drawnBefore.begin() + std::min<size_t>(20, drawnBefore.size()), drawnBefore.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 128; });
        if (dark < 50)
            return "page " + std::to_string(page) + " is blank";
    }
    return {};
}

std::string SourceDir() {
    return EPUB2PDF_SOURCE_DIR;
}
std::string TestDataDir() {
    return EPUB2PDF_TEST_DATA;
}
std::string CorpusDir() {
    return EPUB2PDF_CORPUS;
}
std::string W3cDir() {
    return EPUB2PDF_W3C;
}

}  // namespace testing_support
