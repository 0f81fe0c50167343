#include "frontend/OutputPlan.h"

#include <filesystem>

#include "util/Paths.h"
#include "util/Text.h"

namespace frontend {

std::string OutputPlan::FolderFor(const std::string& book) const {
    return folder.empty() ? util::GetFolderOf(book) : folder;
}

OutputPlan PlanOutput(const std::string& asked, bool fileAllowed, size_t books) {
    OutputPlan plan;
    if (asked.empty())
        return plan;
    const std::string output = util::ToFullPath(asked);
    std::error_code error;
    if (fileAllowed && util::ToLowerAscii(util::GetExtension(output)) == ".pdf" &&
        !std::filesystem::is_directory(output, error)) {
        if (books > 1) {
            plan.problem = OutputProblem::OneFileManyBooks;
        } else if (!std::filesystem::is_directory(util::GetFolderOf(output), error)) {
            plan.problem = OutputProblem::NoSuchFolder;
            plan.where = util::GetFolderOf(output);
        } else {
            plan.file = output;
            plan.folder = util::GetFolderOf(output);
        }
        return plan;
    }
    std::filesystem::create_directories(output, error);
    if (!std::filesystem::is_directory(output, error)) {
        plan.problem = OutputProblem::CannotMakeFolder;
        plan.where = output;
        return plan;
    }
    plan.folder = output;
    return plan;
}

}  // namespace frontend
