// Stores a merged document in less room. The browser embeds, chapter after chapter, its own subset of
// every font and its own copy of every glyph procedure and image; the compactor unites the subsets of
// each TrueType face into one font (with its widths and its text mapping), stores byte-identical fonts,
// descriptors, glyph procedures, images and other streams once, drops what nothing refers to, and
// writes the objects into compressed object streams with a cross-reference stream.
//
// Reads and writes with qpdf: PoDoFo cannot write object streams, and qpdf's object model lets
// references be rewritten across the whole document.
#pragma once

#include <string>
#include <string_view>

#include "util/Status.h"

namespace pdf {

// The compacted document into compacted; it draws and reads the same as pdf, and checks clean (see
// Check.h). A failure (pdf cannot be read, the result cannot be written or does not check clean) says
// why, leaves compacted empty, and pdf is then best kept as it is.
util::Status Compact(std::string_view pdf, std::string& compacted);

}  // namespace pdf
