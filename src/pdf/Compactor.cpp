#include "pdf/Compactor.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>
#include <set>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/Check.h"
#include "pdf/QpdfLogger.h"
#include "pdf/TrueTypeUnion.h"

namespace pdf {
namespace {

using Widths = std::map<uint32_t, QPDFObjectHandle>;  // CID -> width
using Mapping = std::map<uint32_t, std::string>;      // code -> UTF-16BE text

std::string StreamText(QPDFObjectHandle stream) {
    const std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_generalized);
    return {reinterpret_cast<const char*>(data->getBuffer()), data->getSize()};
}

// A font's /W array as one width per CID; null when the array is not one.
std::optional<Widths> ReadWidths(QPDFObjectHandle w) {
    Widths widths;
    if (w.isNull())
        return widths;
    if (!w.isArray())
        return std::nullopt;
    std::vector<QPDFObjectHandle> items = w.getArrayAsVector();
    for (size_t i = 0; i < items.size();) {
        // CIDs of Identity encodings are two bytes: no more than 65,536 widths, whatever the array says.
        if (!items[i].isInteger() || items[i].getIntValue() < 0 || items[i].getIntValue() > 0xFFFF ||
            i + 1 >= items.size())
            return std::nullopt;
        const auto first = static_cast<uint32_t>(items[i].getIntValue());
        if (items[i + 1].isArray()) {
            uint32_t cid = first;
            for (QPDFObjectHandle width : items[i + 1].getArrayAsVector()) {
                if (!width.isNumber() || cid > 0xFFFF)
                    return std::nullopt;
                widths[cid++] = width;
            }
            i += 2;
        } else {
            if (i + 2 >= items.size() || !items[i + 1].isInteger() || !items[i + 2].isNumber() ||
                items[i + 1].getIntValue() < first || items[i + 1].getIntValue() > 0xFFFF)
                return std::nullopt;
            for (auto cid = first; cid <= static_cast<uint32_t>(items[i + 1].getIntValue()); ++cid)
                widths[cid] = items[i + 2];
            i += 3;
        }
    }
    return widths;
}

QPDFObjectHandle WriteWidths(const Widths& widths) {
    std::vector<QPDFObjectHandle> out;
    for (auto it = widths.begin(); it != widths.end();) {
        const uint32_t first = it->first;
        std::vector<QPDFObjectHandle> run;
        for (uint32_t cid = first; it != widths.end() && it->first == cid; ++it, ++cid)
            run.push_back(it->second);
        out.push_back(QPDFObjectHandle::newInteger(first));
        out.push_back(QPDFObjectHandle::newArray(run));
    }
    return QPDFObjectHandle::newArray(out);
}

// The code -> text pairs of a ToUnicode CMap (bfchar, and bfrange in both forms); null when it holds
// something else where those are expected.
std::optional<Mapping> ReadMapping(const std::string& cmap) {
    Mapping mapping;
    size_t at = 0;
    const auto skipSpace = [&] {
        while (at < cmap.size() && (std::isspace(static_cast<unsigned char>(cmap[at])) != 0)) ++at;
    };
    // A <hex> string as bytes; false when the next token is not one.
    const auto hex = [&](std::string& bytes) {
        skipSpace();
        if (at >= cmap.size() || cmap[at] != '<')
            return false;
        const size_t end = cmap.find('>', at);
        if (end == std::string::npos)
            return false;
        std::string digits;
        for (size_t i = at + 1; i < end; ++i) {
            if (std::isxdigit(static_cast<unsigned char>(cmap[i])) != 0)
                digits += cmap[i];
            else if (std::isspace(static_cast<unsigned char>(cmap[i])) == 0)
                return false;
        }
        if (digits.size() % 2 != 0)
            digits += '0';
        bytes.clear();
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
        at = end + 1;
        return true;
    };
    const auto code = [](const std::string& bytes, uint32_t& value) {
        if (bytes.empty() || bytes.size() > 4)
            return false;
        value = 0;
        for (const char c : bytes) value = (value << 8) | static_cast<unsigned char>(c);
        return true;
    };
    const auto keyword = [&](const char* word) {
        skipSpace();
        const std::string_view w(word);
        if (cmap.compare(at, w.size(), w) != 0)
            return false;
        at += w.size();
        return true;
    };
    size_t entries = 0;
    for (size_t next; (next = cmap.find("begin", at)) != std::string::npos;) {
        at = next;
        if (keyword("beginbfchar")) {
            std::string from, to;
            uint32_t c = 0;
            while (!keyword("endbfchar")) {
                if (!hex(from) || !hex(to) || !code(from, c))
                    return std::nullopt;
                mapping[c] = to;
            }
        } else if (keyword("beginbfrange")) {
            std::string low, high, to;
            uint32_t first = 0, last = 0;
            while (!keyword("endbfrange")) {
                if (!hex(low) || !hex(high) || !code(low, first) || !code(high, last) || last < first)
                    return std::nullopt;
                if ((entries += last - first + 1) > 0x10000)
                    return std::nullopt;
                skipSpace();
                if (at < cmap.size() && cmap[at] == '[') {
                    ++at;
                    for (uint32_t c = first; !keyword("]"); ++c) {
                        if (!hex(to) || c > last)
                            return std::nullopt;
                        mapping[c] = to;
                    }
                } else {
                    if (!hex(to) || to.empty())
                        return std::nullopt;
                    // The text counts up with the code, carrying past a byte as readers do (the
                    // browser writes ranges that cross one).
                    for (uint32_t c = first; c <= last; ++c) {
                        mapping[c] = to;
                        for (size_t i = to.size(); i-- > 0;) {
                            to[i] = static_cast<char>(static_cast<unsigned char>(to[i]) + 1);
                            if (to[i] != '\0')
                                break;
                        }
                    }
                }
            }
        } else {
            at += 5;
        }
    }
    return mapping;
}

std::string WriteMapping(const Mapping& mapping) {
    static const char* const digits = "0123456789ABCDEF";
    const auto hex = [](std::string_view bytes) {
        std::string out = "<";
        for (const char c : bytes) {
            out += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
            out += digits[static_cast<unsigned char>(c) & 0xF];
        }
        return out + ">";
    };
    std::string out =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    auto it = mapping.begin();
    while (it != mapping.end()) {
        std::string block;
        int count = 0;
        for (; it != mapping.end() && count < 100; ++it, ++count) {
            const char code[2] = {static_cast<char>((it->first >> 8) & 0xFF),
                                  static_cast<char>(it->first & 0xFF)};
            block += hex(std::string_view(code, 2)) + " " + hex(it->second) + "\n";
        }
        out += std::to_string(count) + " beginbfchar\n" + block + "endbfchar\n";
    }
    return out + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// A content stream of numbers and operators only (a path) with every number written to at most four
// decimals; null for anything else (names, strings, inline images), which is left as it is.
std::optional<std::string> RoundedPath(const std::string& content) {
    std::string out;
    out.reserve(content.size());
    for (size_t at = 0; at < content.size();) {
        const char c = content[at];
        if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '+') {
            size_t end = at;
            while (end < content.size() &&
                   (std::isdigit(static_cast<unsigned char>(content[end])) != 0 || content[end] == '.' ||
                    content[end] == '-' || content[end] == '+'))
                ++end;
            const std::string number = content.substr(at, end - at);
            const size_t point = number.find('.');
            if (point == std::string::npos || number.size() - point <= 5) {
                out += number;
            } else {
                char* stop = nullptr;
                const double value = std::strtod(number.c_str(), &stop);
                if (stop != number.c_str() + number.size())
                    return std::nullopt;
                char text[64];
                std::snprintf(text, sizeof text, "%.4f", value);
                std::string shortest = text;
                while (shortest.back() == '0') shortest.pop_back();
                if (shortest.back() == '.')
                    shortest.pop_back();
                out += shortest == "-0" ? "0" : shortest;
            }
            at = end;
        } else if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '*' ||
                   std::isspace(static_cast<unsigned char>(c)) != 0) {
            if ((c == 'I' && at > 0 && content[at - 1] == 'B') ||
                (c == 'D' && at > 0 && content[at - 1] == 'I'))
                return std::nullopt;  // BI/ID: an inline image
            out += c;
            ++at;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// The face a subset belongs to: its name without the subset tag ("ABCDEF+").
std::string FaceName(const std::string& baseFont) {
    std::string name = baseFont.size() > 1 ? baseFont.substr(1) : baseFont;
    if (name.size() > 7 && name[6] == '+' &&
        std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }))
        return name.substr(7);
    return name;
}

// A Type 0 font over a TrueType subset, as the browser writes it.
struct SubsetFont {
    QPDFObjectHandle font, descendant, descriptor, program, toUnicode;
    TrueTypeProgram truetype;
    // The browser writes widths for the glyphs a subset draws and fills the gaps between them with
    // whatever makes the array short; only the widths of the glyphs it keeps are their own. Glyphs no
    // subset keeps take a filler, 0 where one says 0: a glyph kept without outline or advance is one
    // of no width.
    Widths widths, fillers;
    Mapping mapping;
};

// Subsets whose widths and text agree: they become one font.
struct FontGroup {
    Widths widths, fillers;
    Mapping mapping;
    std::vector<SubsetFont> members;

    bool Accepts(const SubsetFont& font) const {
        for (const auto& [cid, width] : font.widths) {
            auto it = widths.find(cid);
            if (it != widths.end() &&
                QPDFObjectHandle(it->second).getNumericValue() != QPDFObjectHandle(width).getNumericValue())
                return false;
        }
        for (const auto& [code, text] : font.mapping) {
            auto it = mapping.find(code);
            if (it != mapping.end() && it->second != text)
                return false;
        }
        return true;
    }
    void Add(SubsetFont font) {
        widths.insert(font.widths.begin(), font.widths.end());
        for (const auto& [cid, width] : font.fillers) {
            auto [it, fresh] = fillers.emplace(cid, width);
            if (!fresh && QPDFObjectHandle(width).getNumericValue() == 0)
                it->second = width;
        }
        mapping.insert(font.mapping.begin(), font.mapping.end());
        font.truetype = {};
        members.push_back(std::move(font));
    }
};

// Subsets of one face: one font program serves them all. Where two give one glyph different text (a
// compatibility ideograph drawn with its unified glyph, say), they stay two fonts over that program.
struct FaceGroup {
    TrueTypeUnion program;
    std::vector<FontGroup> fonts;

    void Add(SubsetFont font) {
        program.Add(font.truetype);
        auto group =
            std::find_if(fonts.begin(), fonts.end(), [&](const FontGroup& g) { return g.Accepts(font); });
        if (group == fonts.end())
            group = fonts.emplace(fonts.end());
        group->Add(std::move(font));
    }
};

// Pl_Flate's compression level is one for the process: writes at the default share it, a write at
// another level takes it alone.
std::shared_mutex& CompressionLevel() {
    static std::shared_mutex level;
    return level;
}

class Compactor {
  public:
    // Reads bytes in place: the caller keeps them for the compactor's life.
    explicit Compactor(std::string_view bytes) {
        pdf_.setSuppressWarnings(true);
        pdf_.processMemoryFile("merged document", bytes.data(), bytes.size());
        // Listing the objects checks every reference in the file; once is enough.
        objects_ = pdf_.getAllObjects();
    }

    void Prepare() {
        UniteFaces();
        StoreOnce();
        RoundGlyphProcedures();
        Redirect();
    }

    // The document written with object streams, the streams qpdf compresses at level (zlib's 1 to 9;
    // none: qpdf's default), and with recompress, also those that came compressed (else they are kept
    // as they are).
    std::string Write(std::optional<int> level, bool recompress) {
        QPDFWriter writer(pdf_);
        writer.setOutputMemory();
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.setCompressStreams(true);
        writer.setRecompressFlate(recompress);
        // Pl_Flate's level is one for the process: a write at another level has it to itself.
        std::shared_lock<std::shared_mutex> shared(CompressionLevel(), std::defer_lock);
        std::unique_lock<std::shared_mutex> own(CompressionLevel(), std::defer_lock);
        if (level) {
            own.lock();
            Pl_Flate::setCompressionLevel(*level);
        } else {
            shared.lock();
        }
        try {
            writer.write();
        } catch (...) {
            if (level)
                Pl_Flate::setCompressionLevel(-1);
            throw;
        }
        if (level)
            Pl_Flate::setCompressionLevel(-1);
        const std::shared_ptr<Buffer> out = writer.getBufferSharedPointer();
        return {reinterpret_cast<const char*>(out->getBuffer()), out->getSize()};
    }

  private:
    // Before the document: see ShareQpdfLogger.
    struct LoggerShared {
        LoggerShared() { ShareQpdfLogger(); }
    } loggerShared_;
    QPDF pdf_;
    std::vector<QPDFObjectHandle> objects_;     // as read; what the compactor adds refers to none of them
    std::map<QPDFObjGen, QPDFObjGen> standIn_;  // object -> the object that replaces it

    QPDFObjGen Resolve(QPDFObjGen og) const {
        for (auto it = standIn_.find(og); it != standIn_.end(); it = standIn_.find(og)) og = it->second;
        return og;
    }

    // A Type 0 font read as a TrueType subset; null when it is some other font.
    static std::optional<SubsetFont> ReadSubset(QPDFObjectHandle font) {
        QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
        if (!descendants.isArray() || descendants.getArrayNItems() != 1)
            return std::nullopt;
        SubsetFont subset;
        subset.font = font;
        subset.descendant = descendants.getArrayItem(0);
        subset.descriptor = subset.descendant.getKey("/FontDescriptor");
        QPDFObjectHandle toGid = subset.descendant.getKey("/CIDToGIDMap");
        if (!subset.descendant.isIndirect() ||
            !subset.descendant.getKey("/Subtype").isNameAndEquals("/CIDFontType2") ||
            !(toGid.isNull() || toGid.isNameAndEquals("/Identity")) || !subset.descriptor.isIndirect() ||
            !subset.descriptor.isDictionary())
            return std::nullopt;
        subset.program = subset.descriptor.getKey("/FontFile2");
        if (!subset.program.isStream() || !subset.program.isIndirect())
            return std::nullopt;
        std::optional<TrueTypeProgram> truetype = TrueTypeProgram::Read(StreamText(subset.program));
        std::optional<Widths> widths = ReadWidths(subset.descendant.getKey("/W"));
        if (!truetype || !widths)
            return std::nullopt;
        subset.toUnicode = font.getKey("/ToUnicode");
        if (subset.toUnicode.isStream()) {
            std::optional<Mapping> mapping = ReadMapping(StreamText(subset.toUnicode));
            if (!mapping || (!mapping->empty() && mapping->rbegin()->first > 0xFFFF))
                return std::nullopt;
            subset.mapping = std::move(*mapping);
        }
        // A glyph the subset keeps has its outline or its advance (a space has no outline); the array
        // leaves out the widths equal to the default.
        QPDFObjectHandle defaultWidth = subset.descendant.getKey("/DW");
        if (!defaultWidth.isNumber())
            defaultWidth = QPDFObjectHandle::newInteger(1000);
        for (uint16_t g = 0; g < truetype->glyphCount; ++g) {
            const bool kept = !truetype->Glyph(g).empty() || truetype->horizontal[g].advance != 0;
            auto width = widths->find(g);
            if (kept)
                subset.widths[g] = width == widths->end() ? defaultWidth : width->second;
            else if (width != widths->end())
                subset.fillers[g] = width->second;
        }
        for (auto it = widths->lower_bound(truetype->glyphCount); it != widths->end(); ++it)
            subset.fillers[it->first] = it->second;
        subset.truetype = std::move(*truetype);
        return subset;
    }

    // What must be equal for two subsets to be of one face, besides the font programs themselves.
    static std::string FaceKey(SubsetFont& subset) {
        std::string key = FaceName(subset.font.getKey("/BaseFont").unparse());
        key += '\n' + subset.font.getKey("/Encoding").unparse();
        // Not /DW: the browser takes each subset's most common width, and the widths of the glyphs a
        // subset keeps are read explicitly.
        for (const char* name : {"/CIDSystemInfo", "/DW2", "/W2"})
            key += '\n' + subset.descendant.getKey(name).unparseResolved();
        for (auto [name, value] : subset.descriptor.ditems()) {
            if (name != "/FontFile2" && name != "/FontName" && name != "/CIDSet")
                key += '\n' + name + ' ' + value.unparseResolved();
        }
        return key;
    }

    // Unites the subsets of each TrueType face, face by face; a subset that disagrees with a face's
    // glyphs, widths or text stays a font of its own.
    void UniteFaces() {
        std::vector<QPDFObjectHandle> fonts;
        for (QPDFObjectHandle object : objects_) {
            if (object.isDictionary() && object.getKey("/Type").isNameAndEquals("/Font") &&
                object.getKey("/Subtype").isNameAndEquals("/Type0"))
                fonts.push_back(object);
        }
        // A font whose parts another font shares is left as it is: uniting rewrites the parts.
        std::map<QPDFObjGen, int> users;
        const auto parts = [](QPDFObjectHandle font) {
            std::vector<QPDFObjectHandle> found{font.getKey("/ToUnicode"), font.getKey("/DescendantFonts")};
            if (found[1].isArray() && found[1].getArrayNItems() > 0) {
                found[1] = found[1].getArrayItem(0);
                found.push_back(found[1].getKey("/FontDescriptor"));
                found.push_back(found.back().getKey("/FontFile2"));
            }
            return found;
        };
        for (const QPDFObjectHandle& font : fonts) {
            std::set<QPDFObjGen> mine;
            for (const QPDFObjectHandle& part : parts(font)) {
                if (part.isIndirect() && mine.insert(part.getObjGen()).second)
                    ++users[part.getObjGen()];
            }
        }
        std::map<std::string, std::vector<FaceGroup>> faces;
        for (const QPDFObjectHandle& object : fonts) {
            std::vector<QPDFObjectHandle> shared = parts(object);
            if (std::any_of(shared.begin(), shared.end(), [&](const QPDFObjectHandle& part) {
                    return part.isIndirect() && users[part.getObjGen()] > 1;
                }))
                continue;
            std::optional<SubsetFont> subset = ReadSubset(object);
            if (!subset)
                continue;
            std::vector<FaceGroup>& groups = faces[FaceKey(*subset)];
            auto group = std::find_if(groups.begin(), groups.end(), [&](const FaceGroup& g) {
                return g.program.Accepts(subset->truetype);
            });
            if (group == groups.end())
                group = groups.emplace(groups.end());
            group->Add(std::move(*subset));
        }
        for (auto& [key, groups] : faces) {
            for (FaceGroup& group : groups) {
                if (group.program.SubsetCount() > 1)
                    Unite(group);
            }
        }
    }

    void Unite(FaceGroup& face) {
        const std::string program = face.program.Program();
        QPDFObjectHandle stream = face.fonts.front().members.front().program;
        stream.replaceStreamData(program, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        stream.getDict().replaceKey("/Length1",
                                    QPDFObjectHandle::newInteger(static_cast<long long>(program.size())));
        for (FontGroup& group : face.fonts) {
            SubsetFont& first = group.members.front();
            first.descriptor.replaceKey("/FontFile2", stream);
            first.descriptor.removeKey("/CIDSet");
            Widths widths = group.widths;
            widths.insert(group.fillers.begin(), group.fillers.end());
            if (!widths.empty())
                first.descendant.replaceKey("/W", WriteWidths(widths));
            if (!group.mapping.empty()) {
                const std::string cmap = WriteMapping(group.mapping);
                if (first.toUnicode.isStream() && first.toUnicode.isIndirect())
                    first.toUnicode.replaceStreamData(cmap, QPDFObjectHandle::newNull(),
                                                      QPDFObjectHandle::newNull());
                else
                    first.font.replaceKey("/ToUnicode", pdf_.newStream(cmap));
            }
            for (size_t i = 1; i < group.members.size(); ++i)
                standIn_[group.members[i].font.getObjGen()] = first.font.getObjGen();
        }
    }

    // The browser draws a glyph it cannot embed as a font (a face drawn bold without a bold face, a
    // face with PostScript outlines) as a Type 3 procedure in font units of a thousandth of an em, its
    // coordinates to five decimals. Four decimals, a ten-millionth of an em, draw the same pixels, and
    // the procedures take a tenth less room.
    void RoundGlyphProcedures() {
        std::set<QPDFObjGen> done;
        for (QPDFObjectHandle font : objects_) {
            if (!font.isDictionary() || standIn_.count(font.getObjGen()) != 0 ||
                !font.getKey("/Subtype").isNameAndEquals("/Type3") ||
                !font.getKey("/CharProcs").isDictionary())
                continue;
            for (auto [name, procedure] : font.getKey("/CharProcs").ditems()) {
                if (!procedure.isIndirect())
                    continue;
                procedure = pdf_.getObject(Resolve(procedure.getObjGen()));
                if (!procedure.isStream() || !done.insert(procedure.getObjGen()).second)
                    continue;
                const std::string path = StreamText(procedure);
                std::optional<std::string> rounded = RoundedPath(path);
                if (rounded && rounded->size() < path.size())
                    procedure.replaceStreamData(*rounded, QPDFObjectHandle::newNull(),
                                                QPDFObjectHandle::newNull());
            }
        }
    }

    // Whether an object may be shared by whatever refers to one like it: streams (content, images, glyph
    // procedures, font programs, text mappings, profiles), fonts and their descriptors, graphics states.
    static bool Shareable(QPDFObjectHandle object) {
        if (object.isStream())
            return true;
        if (!object.isDictionary())
            return false;
        QPDFObjectHandle type = object.getKey("/Type");
        return type.isNameAndEquals("/Font") || type.isNameAndEquals("/FontDescriptor") ||
               type.isNameAndEquals("/ExtGState");
    }

    // An object written out with every reference as the object that stands for it.
    void Serialize(QPDFObjectHandle object, std::string& out) const {
        if (object.isIndirect()) {
            const QPDFObjGen og = Resolve(object.getObjGen());
            out += std::to_string(og.getObj()) + ' ' + std::to_string(og.getGen()) + " R ";
        } else if (object.isArray()) {
            out += '[';
            for (const QPDFObjectHandle& item : object.getArrayAsVector()) Serialize(item, out);
            out += "] ";
        } else if (object.isDictionary()) {
            out += "<<";
            for (auto [name, value] : object.ditems()) {
                if (value.isNull())
                    continue;
                out += name + ' ';
                Serialize(value, out);
            }
            out += ">> ";
        } else {
            out += object.unparse() + ' ';
        }
    }

    std::string Key(QPDFObjectHandle object) {
        std::string key;
        if (!object.isStream()) {
            Serialize(object, key);
            return key;
        }
        for (auto [name, value] : object.getDict().ditems()) {
            if (name != "/Length" && !value.isNull()) {
                key += name + ' ';
                Serialize(value, key);
            }
        }
        // The stream's bytes are compared by a digest here and in full when two keys meet.
        auto digest = digests_.find(object.getObjGen());
        if (digest == digests_.end()) {
            const std::shared_ptr<Buffer> data = object.getRawStreamData();
            uint64_t hash = 1469598103934665603ull;
            const unsigned char* p = data->getBuffer();
            for (size_t i = 0; i < data->getSize(); ++i) hash = (hash ^ p[i]) * 1099511628211ull;
            digest =
                digests_
                    .emplace(object.getObjGen(), std::to_string(data->getSize()) + ':' + std::to_string(hash))
                    .first;
        }
        return key + "stream " + digest->second;
    }

    static bool SameData(QPDFObjectHandle a, QPDFObjectHandle b) {
        if (!a.isStream())
            return true;
        const std::shared_ptr<Buffer> x = a.getRawStreamData(), y = b.getRawStreamData();
        return x->getSize() == y->getSize() &&
               std::equal(x->getBuffer(), x->getBuffer() + x->getSize(), y->getBuffer());
    }

    // Stores byte-identical objects once, until no two are left alike: once glyph procedures are one,
    // the fonts that hold them may become alike too.
    void StoreOnce() {
        std::vector<QPDFObjectHandle> candidates;
        for (const QPDFObjectHandle& object : objects_) {
            if (Shareable(object))
                candidates.push_back(object);
        }
        for (bool merged = true; merged;) {
            merged = false;
            std::unordered_map<std::string, QPDFObjectHandle> seen;
            for (const QPDFObjectHandle& object : candidates) {
                if (standIn_.count(object.getObjGen()) != 0)
                    continue;
                auto [it, fresh] = seen.emplace(Key(object), object);
                if (!fresh && SameData(it->second, object)) {
                    standIn_[object.getObjGen()] = it->second.getObjGen();
                    merged = true;
                }
            }
        }
    }

    // Points every reference at the object that stands for its target; what nothing refers to any more
    // is not written.
    void Redirect() {
        if (standIn_.empty())
            return;
        for (QPDFObjectHandle object : objects_) Redirect(object.isStream() ? object.getDict() : object);
        QPDFObjectHandle trailer = pdf_.getTrailer();
        Redirect(trailer);
    }

    void Redirect(QPDFObjectHandle container) {
        const auto replacement = [&](const QPDFObjectHandle& value) -> std::optional<QPDFObjectHandle> {
            if (!value.isIndirect())
                return std::nullopt;
            const QPDFObjGen og = Resolve(value.getObjGen());
            if (og == value.getObjGen())
                return std::nullopt;
            return pdf_.getObject(og);
        };
        if (container.isDictionary()) {
            for (auto [name, value] : container.getDictAsMap()) {
                if (auto to = replacement(value))
                    container.replaceKey(name, *to);
                else if (!value.isIndirect() && (value.isArray() || value.isDictionary()))
                    Redirect(value);
            }
        } else if (container.isArray()) {
            const int count = container.getArrayNItems();
            for (int i = 0; i < count; ++i) {
                QPDFObjectHandle value = container.getArrayItem(i);
                if (auto to = replacement(value))
                    container.setArrayItem(i, *to);
                else if (!value.isIndirect() && (value.isArray() || value.isDictionary()))
                    Redirect(value);
            }
        }
    }

    std::map<QPDFObjGen, std::string> digests_;
};

}  // namespace

util::Status Compact(std::string_view pdf, std::string& compacted) {
    try {
        Compactor compactor(pdf);
        compactor.Prepare();
        // qpdf's reader warns of a sound Flate stream whose inflated bytes fill its 64 KiB buffer just
        // where one of its 10,240-byte reads ends ("input stream is complete but output may still be
        // valid"): a coincidence of the compressed bytes, which a long stream meets now and then. A
        // document that draws it (or any other complaint) is written again with the streams qpdf
        // compresses (object streams, what the compactor made) at another level, which changes all
        // their bytes; at last with every stream compressed again, the browser's too.
        struct Attempt {
            std::optional<int> level;
            bool recompress;
        };
        util::Status checked;
        for (const Attempt& attempt : {Attempt{std::nullopt, false}, Attempt{9, false}, Attempt{9, true}}) {
            compacted = compactor.Write(attempt.level, attempt.recompress);
            checked = CheckDocument(compacted);
            if (checked)
                return {};
        }
        compacted.clear();
        return util::Status::Failure("the compacted PDF does not check clean: " + checked.Reason());
    } catch (const std::exception& e) {
        compacted.clear();
        return util::Status::Failure(std::string("the PDF could not be compacted: ") + e.what());
    }
}

}  // namespace pdf
