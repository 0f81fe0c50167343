#include "util/Unicode.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "util/Text.h"

namespace util {

std::string ToNfc(std::string_view utf8) {
    // ASCII is its own normal form; most names are.
    bool ascii = true;
    for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii || !IsValidUtf8(utf8))
        return std::string(utf8);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || nfc == nullptr)
        return std::string(utf8);
    const icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    const icu::UnicodeString normal = nfc->normalize(text, status);
    if (U_FAILURE(status))
        return std::string(utf8);
    std::string out;
    normal.toUTF8String(out);
    return out;
}

}  // namespace util
