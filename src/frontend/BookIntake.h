// How books come in, by the same rules in the window and on the command line. A path given is a book
// when it names a file whose name ends in .epub (in any case) and that begins as a ZIP archive does; a
// folder gives the .epub files in it (with recursive, in its subfolders too), sorted, each to convert or
// fail alone; "-", where standard input is given, gives the paths on its lines. What is refused comes
// out with why, for the front end to say in its words.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace frontend {

enum class Refusal {
    NoSuchFile,      // nothing of that name
    NotAnEpubName,   // a file whose name does not end in .epub
    NotAZipArchive,  // named .epub, but not a ZIP archive
    NoBookInFolder,  // a folder without .epub files (below it too, when recursive)
};

struct Refused {
    std::string path;  // as given
    Refusal why;
};

struct Intake {
    std::vector<std::string> books;  // full paths, in the order given
    std::vector<Refused> refused;
};

struct IntakeOptions {
    bool recursive = false;                 // folders give the books of their subfolders too
    std::istream* standardInput = nullptr;  // what "-" reads; null: "-" is a name like any other
};

Intake CollectBooks(const std::vector<std::string>& paths, const IntakeOptions& options);

// The name ends in .epub, in any case.
bool IsEpubName(const std::string& path);
// A regular file that begins with a ZIP archive's local file header.
bool IsZipArchive(const std::string& path);

}  // namespace frontend
