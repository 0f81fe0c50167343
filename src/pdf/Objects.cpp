#include "pdf/Objects.h"

#include <cctype>

namespace pdf {
namespace {

constexpr double kDestinationZoom = 0.0;  // the reader's zoom stays

}  // namespace

std::unique_lock<std::mutex> LockLibrary() {
    static std::mutex lock;
    return std::unique_lock(lock);
}

void SilenceLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        PoDoFo::PdfError::EnableDebug(false);
        PoDoFo::PdfError::EnableLogging(false);
    });
}

PoDoFo::PdfString Text(const std::string& utf8) {
    return PoDoFo::PdfString(reinterpret_cast<const PoDoFo::pdf_utf8*>(utf8.c_str()));
}

PoDoFo::PdfObject* Resolve(PoDoFo::PdfVecObjects& objects, PoDoFo::PdfObject* object) {
    for (int hops = 0; object != nullptr && object->IsReference() && hops < 32; ++hops)
        object = objects.GetObject(object->GetReference());
    return object != nullptr && object->IsReference() ? nullptr : object;
}

PoDoFo::PdfDestination At(PoDoFo::PdfPage* page, double top) {
    if (top < 0)
        top = page->GetMediaBox().GetBottom() + page->GetMediaBox().GetHeight();
    return PoDoFo::PdfDestination(page, 0.0, top, kDestinationZoom);
}

std::string Why(const PoDoFo::PdfError& error) {
    // "The specified file was not found." -> "the specified file was not found"
    if (const char* message = PoDoFo::PdfError::ErrorMessage(error.GetError());
        message != nullptr && *message != '\0') {
        std::string text = message;
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        if (text.back() == '.')
            text.pop_back();
        return text;
    }
    // No description: the error's name ("ePdfError_InvalidXRef") and what the library said of it.
    std::string name = error.what() != nullptr ? error.what() : "";
    if (name.rfind("ePdfError_", 0) == 0)
        name = name.substr(10);
    std::string text = "PoDoFo reports " + (name.empty() ? std::string("an error") : name);
    for (const PoDoFo::PdfErrorInfo& info : error.GetCallstack()) {
        if (!info.GetInformation().empty()) {
            text += " (" + info.GetInformation() + ")";
            break;
        }
    }
    return text;
}

}  // namespace pdf
