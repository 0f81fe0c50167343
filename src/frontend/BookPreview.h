// What a row of the window shows of a book before it converts: its title, its author and its cover,
// read from the archive without unpacking it. Only the container, the package document and the cover
// image leave the archive, each within its bound, into a private folder that goes with the call; a
// hostile archive costs at most those bytes. Safe on any thread; one call per book.
#pragma once

#include <cstdint>
#include <string>

namespace frontend {

struct BookPreview {
    std::string title;      // the main title; empty when the package names none
    std::string author;     // every creator, joined by ", "
    std::string cover;      // the bytes of the cover image; empty when there is none (or it is too large)
    std::string coverType;  // its media type, as the manifest says
    std::string problem;    // why nothing could be read; empty when the package was read
};

// The most a package document, and a cover image, may take out of the archive.
inline constexpr std::uint64_t kMostPackageBytes = 4ull << 20;
inline constexpr std::uint64_t kMostCoverBytes = 16ull << 20;

BookPreview ReadBookPreview(const std::string& epubPath);

}  // namespace frontend
