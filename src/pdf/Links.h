// The link pass. The browser prints each chapter from its file, so a link to another chapter arrives as
// a URI action with a file: URL, and a link within a chapter as a named destination that means nothing
// once the chapters are one document. The pass gives every such link an explicit destination at its
// target's page and height; what reaches no page of the book goes.
#pragma once

#include <atomic>
#include <map>
#include <string>

#include "util/Status.h"

namespace PoDoFo {
class PdfMemDocument;
}

namespace pdf {

class Chapters;

// Which chapter file (its full path) was printed to which chapter PDF.
using ChapterFiles = std::map<std::string, std::string>;

// Makes every link between and within chapters of doc an explicit destination at its target's page and
// height (the top of the chapter's first page when it names no element); a link to a file that was not
// printed, or to an element that does not exist, becomes no link (its text stays). Only http, https and
// mailto links stay as they are; any other URI or action goes, and so does an annotation that cannot be
// read. cancelled is checked before each page and each annotation. Failure: cancelled ("cancelled"), or
// doc could not be changed; doc is then rewritten in part.
util::Status RewriteLinks(PoDoFo::PdfMemDocument& doc, const Chapters& chapters, const ChapterFiles& printed,
                          const std::atomic<bool>& cancelled);

}  // namespace pdf
