#include "support/TestSupport.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

std::string SourceDir() {
    return EPUB2PDF_SOURCE_DIR;
}
std::string TestDataDir() {
    return EPUB2PDF_TEST_DATA;
}
std::string CorpusDir() {
    return EPUB2PDF_CORPUS;
}

}  // namespace testing_support
