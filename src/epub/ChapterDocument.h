// What the printer needs to know of one chapter document before a browser sees it: its title, its own
// page size when the book is pre-paginated, and bytes that a browser can decode.
#pragma once

#include <string>

namespace epub {

// The chapter's <title>, else its first heading (h1 to h6), whitespace collapsed; empty when it has
// neither.
std::string ReadDocumentTitle(const std::string& path);

// A page size in CSS pixels.
struct Viewport {
    double width = 0;
    double height = 0;
    bool Valid() const { return width > 0 && height > 0; }
};

// The size a pre-paginated document declares: the first of its <meta name="viewport"> declarations
// that gives both sides, or for an SVG document its width and height (px or no unit), else its viewBox.
// Invalid when it declares none; unreadable, when given, is set when it has viewport declarations but
// none that gives both sides (one that asks for the device's width or height is not unreadable: the
// default size is the device's).
Viewport ReadViewport(const std::string& path, bool* unreadable = nullptr);
// The width and height of a viewport declaration such as "width=1200, height=1600"; invalid unless both
// are positive numbers. The first width and height count; their units are ignored (the values are
// pixels), and what else the declaration holds is passed over.
Viewport ParseViewport(const std::string& content);

// Text that is not valid UTF-8 but claims to be (or names no encoding, so that UTF-8 applies) is taken
// as Windows-1252, the usual cause: every byte that is not part of a valid UTF-8 sequence becomes the
// character Windows-1252 gives it. Valid sequences stay as they are.
std::string RepairUtf8(const std::string& bytes);
// The encoding a document names in its XML declaration or its <meta> charset, lower-cased; empty when
// it names none.
std::string DeclaredEncoding(const std::string& bytes);
// Rewrites the file in place with RepairUtf8 when it is not valid UTF-8 and names UTF-8 or no encoding.
// True when it was rewritten.
bool RepairFileEncoding(const std::string& path);

}  // namespace epub
