#include "epub/ChapterDocument.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "epub/XmlFile.h"
#include "epub/XmlNames.h"
#include "util/AtomicFile.h"
#include "util/Files.h"
#include "util/Text.h"

namespace epub {
namespace {

// Windows-1252's characters for 0x80 to 0x9F; the five bytes it leaves undefined give U+FFFD.
constexpr char32_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

bool IsUtf8Name(const std::string& encoding) {
    return encoding.empty() || encoding == "utf-8" || encoding == "utf8";
}

// A leading number of CSS pixels ("1200", "1200px", "1200.5"); 0 when there is none. A viewport's
// lengths are pixels whatever unit follows them ("600mm" is 600 pixels), as reading systems take them.
double Pixels(const std::string& text) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t' || *begin == '\n' || *begin == '\r') ++begin;
    if (*begin == '\0' || ((*begin < '0' || *begin > '9') && *begin != '.'))
        return 0;  // also refuses "+5", "-5", "inf", "nan"
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || !(v > 0) || v > 100000)
        return 0;
    return v;
}

// An SVG length: a number with no unit or px; other units are not the document's pixels.
double SvgPixels(const std::string& text) {
    const double v = Pixels(text);
    const size_t at = text.find_first_not_of("0123456789. \t\n\r");
    const std::string unit =
        at == std::string::npos ? "" : util::ToLowerAscii(xml::CollapseWhitespace(text.substr(at)));
    return unit.empty() || unit == "px" ? v : 0;
}

}  // namespace

std::string ReadDocumentTitle(const std::string& path) {
    XmlFile xml(path);
    pugi::xml_node doc = xml.Document();
    if (pugi::xml_node head = xml::Descendant(doc, xml::kXhtml, "head")) {
        std::string title = xml::Text(xml::Child(head, xml::kXhtml, "title"));
        if (!title.empty())
            return title;
    }
    // The first h1..h6 with text, in document order.
    pugi::xml_node body = xml::Descendant(doc, xml::kXhtml, "body");
    std::string heading;
    xml::FirstElement(body ? body : doc, [&heading](pugi::xml_node n) {
        const std::string local = xml::LocalName(n);
        if (local.size() != 2 || (local[0] != 'h' && local[0] != 'H') || local[1] < '1' || local[1] > '6' ||
            !xml::Is(n, xml::kXhtml, local.c_str()))
            return false;
        heading = xml::Text(n);
        return !heading.empty();
    });
    return heading;
}

Viewport ParseViewport(const std::string& content) {
    Viewport v;
    std::string key, value;
    bool inValue = false, seenWidth = false, seenHeight = false;
    auto take = [&] {
        const std::string k = util::ToLowerAscii(xml::CollapseWhitespace(key));
        const std::string val = xml::CollapseWhitespace(value);
        // The first width and the first height count; a repeated one is ignored.
        if (k == "width" && !seenWidth) {
            v.width = Pixels(val);
            seenWidth = true;
        } else if (k == "height" && !seenHeight) {
            v.height = Pixels(val);
            seenHeight = true;
        }
        key.clear();
        value.clear();
        inValue = false;
    };
    for (char c : content) {
        if (c == ',' || c == ';') {
            take();
        } else if (c == '=' && !inValue) {
            inValue = true;
        } else {
            (inValue ? value : key) += c;
        }
    }
    take();
    return v.Valid() ? v : Viewport{};
}

Viewport ReadViewport(const std::string& path, bool* unreadable) {
    if (unreadable != nullptr)
        *unreadable = false;
    XmlFile xml(path);
    pugi::xml_node doc = xml.Document();
    // The first declaration that gives both sides; one that cannot be read is passed over.
    for (pugi::xml_node meta : xml::Descendants(doc, xml::kXhtml, "meta")) {
        if (util::ToLowerAscii(xml::Attribute(meta, "name")) != "viewport")
            continue;
        const std::string content = xml::Attribute(meta, "content");
        if (const Viewport v = ParseViewport(content); v.Valid())
            return v;
        // "width=device-width" asks for the reader's screen, which is the default; not a fault.
        if (unreadable != nullptr && content.find("device-") == std::string::npos)
            *unreadable = true;
    }
    pugi::xml_node svg = doc.first_child();
    while (svg && svg.type() != pugi::node_element) svg = svg.next_sibling();
    if (!xml::Is(svg, xml::kSvg, "svg"))
        return {};
    Viewport v{SvgPixels(xml::Attribute(svg, "width")), SvgPixels(xml::Attribute(svg, "height"))};
    if (v.Valid())
        return v;
    double x = 0, y = 0, w = 0, h = 0;
    const std::string box = xml::Attribute(svg, "viewBox");
    if (std::sscanf(box.c_str(), "%lf%*[ ,]%lf%*[ ,]%lf%*[ ,]%lf", &x, &y, &w, &h) == 4 && w > 0 && h > 0)
        return {w, h};
    return {};
}

std::string RepairUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = util::DecodeUtf8(bytes, i).length;
        if (n > 0) {
            out.append(bytes, i, n);
            i += n;
            continue;
        }
        const auto b = static_cast<unsigned char>(bytes[i++]);
        util::AppendUtf8(out, b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}

std::string DeclaredEncoding(const std::string& bytes) {
    static const std::regex xmlDeclaration(R"(^\s*<\?xml[^>]*encoding\s*=\s*["']([^"']+)["'])",
                                           std::regex::icase);
    static const std::regex metaCharset(R"(<meta[^>]*charset\s*=\s*["']?([A-Za-z0-9_.:-]+))",
                                        std::regex::icase);
    const std::string head = bytes.substr(0, 2048);
    std::smatch m;
    if (std::regex_search(head, m, xmlDeclaration) || std::regex_search(head, m, metaCharset))
        return util::ToLowerAscii(m[1].str());
    return {};
}

bool RepairFileEncoding(const std::string& path) {
    std::string bytes;
    if (!util::ReadFileBytes(path, bytes) || util::IsValidUtf8(bytes))
        return false;
    // UTF-16 (a byte-order mark) and documents that name another encoding are the browser's to decode.
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        return false;
    if (!IsUtf8Name(DeclaredEncoding(bytes)))
        return false;
    util::AtomicFile file(path);
    return file.IsOpen() && file.Write(RepairUtf8(bytes)) && file.Commit();
}

}  // namespace epub
