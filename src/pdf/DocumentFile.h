// A document's file: read whole and parsed in memory (PoDoFo's file device seeks before every read, which
// costs more than the parsing itself), and written through memory, compacted when asked, to a file that
// is replaced in one step, so that the file always holds a whole document: the last one stored.
#pragma once

#include <podofo/podofo.h>

#include <string>
#include <string_view>
#include <vector>

#include "util/Status.h"

namespace pdf {

// A document's bytes as PoDoFo wrote them.
struct DocumentBytes {
    PoDoFo::PdfRefCountedBuffer buffer;
    size_t length = 0;

    std::string_view View() const { return {buffer.GetBuffer(), length}; }
};

// Reads the PDF at path into doc; a failure names the file as what ("the chapter PDF") and says why.
util::Status ReadDocument(PoDoFo::PdfMemDocument& doc, const std::string& path, const std::string& what);
// Writes doc into bytes.
util::Status Serialize(PoDoFo::PdfMemDocument& doc, DocumentBytes& bytes);
// Stores bytes at path, compacted when asked, through a temporary file beside it renamed into place. What
// is stored checks clean (see Check.h): a compacted document that does not, or a document that cannot be
// compacted, is stored as it is, whole but larger, and a warning says why; a document that does not
// check clean as it is is not stored. On failure path keeps what it held.
util::Status Store(std::string_view bytes, const std::string& path, bool compact,
                   std::vector<std::string>& warnings);

}  // namespace pdf
