// URLs and hrefs: fragments, percent-encoding, file: URLs.
#pragma once

#include <string>
#include <string_view>

namespace util {

// A URL or href without its query and fragment: "ch1.xhtml?x=1#a" gives "ch1.xhtml".
std::string_view CutQueryAndFragment(std::string_view url);
// Decodes %XX escapes (invalid escapes stay as written).
std::string PercentDecode(std::string_view text);
// A file:// URL for an absolute path, with every byte outside the unreserved set and '/' percent-encoded.
std::string FileUrlFromPath(const std::string& path);
// The path of a file: URL (file:///a/b or file://localhost/a/b), percent-decoded; empty when not a local
// file URL.
std::string PathFromFileUrl(std::string_view url);

}  // namespace util
