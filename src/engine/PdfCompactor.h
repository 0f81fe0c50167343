// Stores a merged document in less room. The browser embeds, chapter after chapter, its own subset of
// every font and its own copy of every glyph procedure and image; the compactor unites the subsets of
// each TrueType face into one font (with its widths and its text mapping), stores byte-identical fonts,
// descriptors, glyph procedures, images and other streams once, drops what nothing refers to, and
// writes the objects into compressed object streams with a cross-reference stream.
//
// Reads and writes with qpdf: the assembler's own library cannot write object streams, and qpdf's
// object model lets references be rewritten across the whole document.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The compacted document. It draws and reads the same as pdf. Throws std::exception when pdf cannot be
// read or written; pdf is then best kept as it is.
std::string CompactPdf(std::string_view pdf);

}  // namespace engine
