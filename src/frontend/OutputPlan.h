// Where the PDFs go, by one rule for the window and the command line: next to each book unless a folder
// is asked for, which is made when missing. On the command line a name ending in .pdf that is no folder
// names the PDF of its one book instead.
#pragma once

#include <cstddef>
#include <string>

namespace frontend {

enum class OutputProblem {
    None,
    OneFileManyBooks,  // a PDF named for more than one book
    NoSuchFolder,      // the named PDF's folder does not exist
    CannotMakeFolder,  // the folder asked for cannot be made or is no folder
};

struct OutputPlan {
    std::string file;    // the one book's PDF, or empty
    std::string folder;  // the folder of every PDF; empty: next to each book
    OutputProblem problem = OutputProblem::None;
    std::string where;  // the folder the problem is about

    // The folder a book's PDF goes to.
    std::string FolderFor(const std::string& book) const;
};

// asked: the folder (or, with fileAllowed, the PDF) asked for; empty: next to each book. books: how
// many are given.
OutputPlan PlanOutput(const std::string& asked, bool fileAllowed, size_t books);

}  // namespace frontend
