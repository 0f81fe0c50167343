// Unicode normalization: one text may be written with precomposed characters (NFC: "プ", U+30D7) or
// with base characters and combining marks (NFD: "フ" U+30D5 and U+309A); names that a reader should
// take for the same are compared in NFC.
#pragma once

#include <string>
#include <string_view>

namespace util {

// utf8 in Unicode normalization form C (canonical composition); text that is not well-formed UTF-8 is
// returned as it is.
std::string ToNfc(std::string_view utf8);

}  // namespace util
