// What every part of the library does with PoDoFo: the lock every use of it holds, texts as PDF
// strings, references followed, destinations at a height of a page, and the library's errors turned into
// reasons a user can read. Included by the library's own sources only.
#pragma once

#include <podofo/podofo.h>

#include <exception>
#include <mutex>
#include <string>
#include <type_traits>

#include "util/Status.h"

namespace pdf {

// PoDoFo dates what it makes, loads, appends, annotates and writes with localtime(), whose result lives
// in one static buffer of the C library: two books assembled at once could write each other's dates.
// Every operation on a PoDoFo document holds this lock, across the threads of every job.
std::unique_lock<std::mutex> LockLibrary();
// Switches PoDoFo's debug output and logging off, once for the process (they are never switched on).
void SilenceLibrary();

// A PDF text string from UTF-8.
PoDoFo::PdfString Text(const std::string& utf8);
// What a reference leads to (followed through references), or the object itself; null at a dead end.
PoDoFo::PdfObject* Resolve(PoDoFo::PdfVecObjects& objects, PoDoFo::PdfObject* object);
// A destination at a height of a page (the top of the page when top is below 0), at its left edge,
// keeping the reader's zoom.
PoDoFo::PdfDestination At(PoDoFo::PdfPage* page, double top);

// What went wrong, in words: PoDoFo's description of the error, or its name and what it added.
std::string Why(const PoDoFo::PdfError& error);

// Runs work, which may throw PoDoFo's errors (or run out of memory); a failure comes back as
// "<what>: <why>". work returns nothing, or a Status of its own that is passed on.
template <typename Work>
util::Status Guarded(const std::string& what, const Work& work) {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<const Work&>>) {
            work();
            return {};
        } else {
            return work();
        }
    } catch (const PoDoFo::PdfError& e) {
        return util::Status::Failure(what + ": " + Why(e));
    } catch (const std::exception& e) {
        return util::Status::Failure(what + ": " + e.what());
    }
}

}  // namespace pdf
