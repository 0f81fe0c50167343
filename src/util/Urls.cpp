#include "util/Urls.h"

namespace util {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string_view CutQueryAndFragment(std::string_view url) {
    return url.substr(0, url.find_first_of("?#"));
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = HexValue(text[i + 1]);
            int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string FileUrlFromPath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || c == '/') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

std::string PathFromFileUrl(std::string_view url) {
    constexpr std::string_view scheme = "file:";
    if (url.substr(0, scheme.size()) != scheme)
        return {};
    std::string_view rest = url.substr(scheme.size());
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return {};
        std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost")
            return {};
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest[0] != '/')
        return {};
    return PercentDecode(rest);
}

}  // namespace util
