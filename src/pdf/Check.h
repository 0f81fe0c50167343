// Whether a document is sound, as `qpdf --check` finds it: the file and every object in it parsed,
// every stream decoded, the page tree read, and no warning on the way; read in memory with qpdf, whose
// warnings are what the user's tools see. Unlike qpdf --check it does not parse the pages' content
// streams: the assembly writes none but the stamps' few operators (the pages draw what the browser
// printed), and parsing them would double the check's time.
#pragma once

#include <string_view>

#include "util/Status.h"

namespace pdf {

// A failure says what qpdf found: how many problems, and the first.
util::Status CheckDocument(std::string_view pdf);

}  // namespace pdf
