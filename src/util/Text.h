// Text: Base64, UTF-8, ASCII case, markup escaping, and the user's messages locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

// Decodes standard Base64 (padding optional, no other characters); false on malformed input.
bool DecodeBase64(std::string_view text, std::string& out);
// One code point decoded from the UTF-8 at text[at]: its value and its length in bytes, or a length of 0
// when the bytes there begin no well-formed sequence (overlong forms and surrogates included).
struct Utf8Char {
    char32_t code = 0;
    size_t length = 0;
};
Utf8Char DecodeUtf8(std::string_view text, size_t at);
// Appends the UTF-8 encoding of a code point.
void AppendUtf8(std::string& out, char32_t code);
// The text with every byte that is not part of a well-formed UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);
// True when text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// ASCII lower-casing; other bytes stay.
std::string ToLowerAscii(std::string_view text);
// Text for XML or HTML content and attribute values: & < > " as entities; control characters other than
// tab and line feed, which XML cannot hold, dropped.
std::string MarkupEscaped(std::string_view text);
// The locale the user asks for texts in: the first of LC_ALL, LC_MESSAGES and LANG that is set, as the C
// library reads them; empty when none is.
std::string MessagesLocale();

}  // namespace util
