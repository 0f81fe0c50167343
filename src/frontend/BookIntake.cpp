#include "frontend/BookIntake.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <istream>

#include "util/Paths.h"
#include "util/Text.h"

namespace frontend {
namespace {

namespace fs = std::filesystem;

// The .epub files of a folder (and of its subfolders), sorted.
std::vector<std::string> BooksInFolder(const std::string& folder, bool recursive) {
    std::vector<std::string> found;
    auto add = [&found](const fs::directory_entry& entry) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && IsEpubName(entry.path().string()))
            found.push_back(util::ToFullPath(entry.path().string()));
    };
    std::error_code error;
    if (recursive) {
        for (const auto& entry :
             fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, error))
            add(entry);
    } else {
        for (const auto& entry : fs::directory_iterator(folder, error)) add(entry);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The paths with "-" replaced by the lines of standard input (empty lines skipped).
std::vector<std::string> ExpandStandardInput(const std::vector<std::string>& paths, std::istream* input) {
    std::vector<std::string> given;
    for (const std::string& path : paths) {
        if (path != "-" || input == nullptr) {
            given.push_back(path);
            continue;
        }
        for (std::string line; std::getline(*input, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                given.push_back(line);
        }
    }
    return given;
}

}  // namespace

bool IsEpubName(const std::string& path) {
    return util::ToLowerAscii(util::GetExtension(path)) == ".epub";
}

bool IsZipArchive(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return false;
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    return in.read(magic, 4) && std::string(magic, 4) == "PK\x03\x04";
}

Intake CollectBooks(const std::vector<std::string>& paths, const IntakeOptions& options) {
    Intake intake;
    for (const std::string& path : ExpandStandardInput(paths, options.standardInput)) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            const std::vector<std::string> found = BooksInFolder(path, options.recursive);
            if (found.empty())
                intake.refused.push_back({path, Refusal::NoBookInFolder});
            intake.books.insert(intake.books.end(), found.begin(), found.end());
        } else if (!fs::exists(path, error)) {
            intake.refused.push_back({path, Refusal::NoSuchFile});
        } else if (!IsEpubName(path)) {
            intake.refused.push_back({path, Refusal::NotAnEpubName});
        } else if (!IsZipArchive(path)) {
            intake.refused.push_back({path, Refusal::NotAZipArchive});
        } else {
            intake.books.push_back(util::ToFullPath(path));
        }
    }
    return intake;
}

}  // namespace frontend
