// Text laid out for a terminal of some width: the help as written (paragraphs, and items whose text
// hangs at a column, such as "  -o, --output PATH     with one book...") reflowed to that width, never
// breaking inside a word; East Asian text breaks between its characters, never before closing
// punctuation.
#pragma once

#include <string>

namespace cli {

// text reflowed to at most width columns a line (a word longer than a line keeps its own line).
std::string Reflow(const std::string& text, int width);
// The width help is laid out for: the terminal's on standard output (at most 100 columns, for reading),
// else 80.
int HelpWidth();

}  // namespace cli
