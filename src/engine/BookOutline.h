// The outline of a book, from its guide references and its table of contents, as bookmarks of the
// merged PDF.
#pragma once

#include <atomic>
#include <memory>

#include "pdf/Assembler.h"

namespace epub {
class EpubBook;
class TableOfContents;
}  // namespace epub

namespace engine {

// The outline of a book: its guide references (cover, toc, text) first, then the table of contents (or,
// when the book has none, one entry per chapter titled by the chapter), each entry pointing to the
// element it names, or to the first page of its chapter; entries whose file was not printed (printed:
// chapter file -> chapter PDF) are dropped with their subtrees. Null when cancelled was set.
std::shared_ptr<pdf::OutlineNode> BuildOutline(const pdf::Assembler& assembler, const epub::EpubBook& book,
                                               const epub::TableOfContents* toc,
                                               const pdf::ChapterFiles& printed,
                                               const std::atomic<bool>& cancelled);

}  // namespace engine
