// One fuzz input for the compactor. Bytes that begin with "%PDF" are one chapter PDF; any others are the
// recipe of a book's chapters as the browser prints long Chinese text in a face it cannot embed as a
// font: pages drawn in Type 3 fonts of up to 255 glyph procedures each (with their widths, encodings
// and text mappings), a chapter's fonts repeating the glyphs of the chapter before. The chapters are
// merged as a conversion merges them and the merged document compacted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What went wrong, or empty: the chapters of a recipe merge into a document that checks clean and
// compacts; whatever compacts gives a document that checks clean, with the same pages, the same
// content on each, and the same fonts (widths, glyph names, glyph procedures to four decimals).
std::string CompactorFault(const std::uint8_t* data, std::size_t size);
// libFuzzer's entry: aborts on a fault.
int FuzzCompactor(const std::uint8_t* data, std::size_t size);
