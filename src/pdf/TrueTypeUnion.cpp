#include "pdf/TrueTypeUnion.h"

#include <algorithm>
#include <array>
#include <limits>

#include "util/ByteOrder.h"

namespace pdf {
namespace {

uint16_t U16(std::string_view s, size_t at) {
    return util::ReadBigEndian<uint16_t>(s.data() + at);
}
int16_t I16(std::string_view s, size_t at) {
    return static_cast<int16_t>(U16(s, at));
}
uint32_t U32(std::string_view s, size_t at) {
    return util::ReadBigEndian<uint32_t>(s.data() + at);
}
void Put16(std::string& s, size_t at, uint32_t v) {
    util::WriteBigEndian(s.data() + at, static_cast<uint16_t>(v));
}
void Put32(std::string& s, size_t at, uint32_t v) {
    util::WriteBigEndian(s.data() + at, v);
}
void Append16(std::string& s, uint32_t v) {
    util::AppendBigEndian(s, static_cast<uint16_t>(v));
}
void Append32(std::string& s, uint32_t v) {
    util::AppendBigEndian(s, v);
}

uint32_t CheckSum(std::string_view data) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 4 <= data.size(); i += 4) sum += U32(data, i);
    uint32_t last = 0;
    for (size_t k = 0; i + k < data.size(); ++k)
        last |= static_cast<uint32_t>(static_cast<unsigned char>(data[i + k])) << (24 - 8 * k);
    return sum + last;
}

// Reads n long metrics and the bearings after them as one metric per glyph; false when the table is short.
bool ReadMetrics(std::string_view table, uint32_t longCount, uint16_t glyphCount,
                 std::vector<TrueTypeProgram::Metric>& out) {
    if (longCount == 0 || longCount > glyphCount)
        longCount = std::min<uint32_t>(std::max<uint32_t>(longCount, 1), glyphCount);
    if (glyphCount == 0 || table.size() < 4ull * longCount + 2ull * (glyphCount - longCount))
        return false;
    out.resize(glyphCount);
    for (uint32_t g = 0; g < glyphCount; ++g) {
        if (g < longCount) {
            out[g] = {U16(table, 4 * g), I16(table, 4 * g + 2)};
        } else {
            out[g] = {out[longCount - 1].advance, I16(table, 4 * longCount + 2 * (g - longCount))};
        }
    }
    return true;
}

bool SameRanges(std::string_view a, std::string_view b,
                std::initializer_list<std::pair<size_t, size_t>> ranges) {
    for (const auto& [from, to] : ranges) {
        if (a.size() < to || b.size() < to || a.substr(from, to - from) != b.substr(from, to - from))
            return false;
    }
    return true;
}

const std::string* Find(const std::map<std::string, std::string>& tables, const char* tag) {
    auto it = tables.find(tag);
    return it == tables.end() ? nullptr : &it->second;
}

}  // namespace

std::optional<TrueTypeProgram> TrueTypeProgram::Read(std::string_view bytes) {
    if (bytes.size() < 12)
        return std::nullopt;
    TrueTypeProgram p;
    p.version = U32(bytes, 0);
    if (p.version != 0x00010000 && p.version != 0x74727565)  // 'true'; 'OTTO' has CFF outlines
        return std::nullopt;
    const uint16_t count = U16(bytes, 4);
    if (bytes.size() < 12 + 16ull * count)
        return std::nullopt;
    for (uint16_t i = 0; i < count; ++i) {
        const size_t entry = 12 + 16ull * i;
        const uint64_t offset = U32(bytes, entry + 8);
        const uint64_t length = U32(bytes, entry + 12);
        if (offset + length > bytes.size())
            return std::nullopt;
        p.tables[std::string(bytes.substr(entry, 4))] = std::string(bytes.substr(offset, length));
    }
    const std::string* head = Find(p.tables, "head");
    const std::string* maxp = Find(p.tables, "maxp");
    const std::string* hhea = Find(p.tables, "hhea");
    const std::string* loca = Find(p.tables, "loca");
    const std::string* glyf = Find(p.tables, "glyf");
    const std::string* hmtx = Find(p.tables, "hmtx");
    if (!head || !maxp || !hhea || !loca || !glyf || !hmtx || head->size() < 54 || maxp->size() < 6 ||
        hhea->size() < 36)
        return std::nullopt;
    p.glyphCount = U16(*maxp, 4);
    const bool longOffsets = I16(*head, 50) != 0;
    const size_t width = longOffsets ? 4 : 2;
    if (loca->size() < width * (p.glyphCount + 1ull))
        return std::nullopt;
    p.glyphSpans.resize(p.glyphCount);
    uint64_t previous = longOffsets ? U32(*loca, 0) : 2ull * U16(*loca, 0);
    for (uint32_t g = 0; g < p.glyphCount; ++g) {
        const uint64_t next = longOffsets ? U32(*loca, width * (g + 1)) : 2ull * U16(*loca, width * (g + 1));
        if (next < previous || next > glyf->size())
            return std::nullopt;
        p.glyphSpans[g] = {static_cast<uint32_t>(previous), static_cast<uint32_t>(next - previous)};
        previous = next;
    }
    if (!ReadMetrics(*hmtx, U16(*hhea, 34), p.glyphCount, p.horizontal))
        return std::nullopt;
    const std::string* vhea = Find(p.tables, "vhea");
    const std::string* vmtx = Find(p.tables, "vmtx");
    if (vhea && vmtx && vhea->size() >= 36 && !ReadMetrics(*vmtx, U16(*vhea, 34), p.glyphCount, p.vertical))
        return std::nullopt;
    return p;
}

std::string_view TrueTypeProgram::RawGlyph(uint16_t id) const {
    if (id >= glyphSpans.size())
        return {};
    const auto [offset, length] = glyphSpans[id];
    return std::string_view(tables.at("glyf")).substr(offset, length);
}

// Subsets pad glyphs to an even or a four-byte length, each as its offsets allow; the outline is the
// same without the zeros.
std::string_view TrueTypeProgram::Trimmed(std::string_view glyph) {
    while (!glyph.empty() && glyph.back() == '\0') glyph.remove_suffix(1);
    return glyph;
}

bool TrueTypeUnion::Accepts(const TrueTypeProgram& program) const {
    if (subsets_ == 0)
        return true;
    if (program.version != version_ || program.vertical.empty() != vertical_.empty())
        return false;
    for (const char* tag : {"cvt ", "fpgm", "prep", "name", "gasp"}) {
        const std::string* mine = Find(face_, tag);
        const std::string* theirs = Find(program.tables, tag);
        if ((mine == nullptr) != (theirs == nullptr) || (mine && *mine != *theirs))
            return false;
    }
    // head: version, revision, magic, flags, units per em, dates, style, and the glyph data format;
    // the bounding box, the checksum and the offset size are the subset's own.
    if (!SameRanges(face_.at("head"), program.tables.at("head"), {{0, 8}, {12, 36}, {44, 50}, {52, 54}}) ||
        !SameRanges(face_.at("hhea"), program.tables.at("hhea"), {{0, 10}, {18, 34}}))
        return false;
    const size_t common = std::min<size_t>(glyphs_.size(), program.glyphCount);
    for (size_t g = 0; g < common; ++g) {
        const std::string_view theirs = program.Glyph(static_cast<uint16_t>(g));
        if (!theirs.empty() && !glyphs_[g].empty() && TrueTypeProgram::Trimmed(glyphs_[g]) != theirs)
            return false;
    }
    return true;
}

void TrueTypeUnion::Add(const TrueTypeProgram& program) {
    const std::string& head = program.tables.at("head");
    if (subsets_++ == 0) {
        face_ = program.tables;
        version_ = program.version;
        xMin_ = I16(head, 36), yMin_ = I16(head, 38), xMax_ = I16(head, 40), yMax_ = I16(head, 42);
    } else {
        xMin_ = std::min(xMin_, I16(head, 36)), yMin_ = std::min(yMin_, I16(head, 38));
        xMax_ = std::max(xMax_, I16(head, 40)), yMax_ = std::max(yMax_, I16(head, 42));
    }
    const std::string& maxp = program.tables.at("maxp");
    if (maxp.size() >= 32) {
        maxp_.resize(13);
        for (size_t i = 0; i < maxp_.size(); ++i) maxp_[i] = std::max(maxp_[i], U16(maxp, 6 + 2 * i));
    }
    const size_t count = std::max<size_t>(glyphs_.size(), program.glyphCount);
    glyphs_.resize(count);
    horizontal_.resize(count);
    metricSet_.resize(count);
    if (!program.vertical.empty())
        vertical_.resize(count);
    for (uint16_t g = 0; g < program.glyphCount; ++g) {
        const std::string_view glyph = program.Glyph(g);
        const bool drawn = !glyph.empty();
        if (drawn && glyphs_[g].empty())
            glyphs_[g] = std::string(program.RawGlyph(g));
        // A glyph's metrics come from a subset that kept the glyph; a subset that left it out may say 0.
        if (!metricSet_[g] && (drawn || horizontal_[g].advance == 0)) {
            horizontal_[g] = program.horizontal[g];
            if (!program.vertical.empty())
                vertical_[g] = program.vertical[g];
            metricSet_[g] = drawn;
        }
    }
}

std::string TrueTypeUnion::Program() const {
    const auto count = static_cast<uint32_t>(glyphs_.size());
    std::map<std::string, std::string> out;
    for (const char* tag : {"cvt ", "fpgm", "prep", "gasp", "name", "OS/2", "cmap"}) {
        if (const std::string* table = Find(face_, tag))
            out[tag] = *table;
    }
    if (const std::string* post = Find(face_, "post"); post && post->size() >= 32) {
        std::string names = post->substr(0, 32);
        Put32(names, 0, 0x00030000);  // no glyph names: they would be the first subset's alone
        out["post"] = names;
    }

    std::string glyf, loca;
    int minLeft = std::numeric_limits<int16_t>::max(), minRight = minLeft,
        maxExtent = std::numeric_limits<int16_t>::min();
    int minTop = minLeft, minBottom = minLeft, maxVertical = maxExtent;
    uint16_t widest = 0, tallest = 0;
    std::string hmtx, vmtx;
    for (uint32_t g = 0; g < count; ++g) {
        Append32(loca, static_cast<uint32_t>(glyf.size()));
        const std::string& glyph = glyphs_[g];
        glyf += glyph;
        glyf.append((4 - glyph.size() % 4) % 4, '\0');
        const TrueTypeProgram::Metric h = horizontal_[g];
        Append16(hmtx, h.advance);
        Append16(hmtx, static_cast<uint16_t>(h.bearing));
        widest = std::max(widest, h.advance);
        TrueTypeProgram::Metric v{};
        if (!vertical_.empty()) {
            v = vertical_[g];
            Append16(vmtx, v.advance);
            Append16(vmtx, static_cast<uint16_t>(v.bearing));
            tallest = std::max(tallest, v.advance);
        }
        if (glyph.size() >= 10) {
            const int width = I16(glyph, 6) - I16(glyph, 2), height = I16(glyph, 8) - I16(glyph, 4);
            minLeft = std::min<int>(minLeft, h.bearing);
            minRight = std::min(minRight, h.advance - h.bearing - width);
            maxExtent = std::max(maxExtent, h.bearing + width);
            minTop = std::min<int>(minTop, v.bearing);
            minBottom = std::min(minBottom, v.advance - v.bearing - height);
            maxVertical = std::max(maxVertical, v.bearing + height);
        }
    }
    Append32(loca, static_cast<uint32_t>(glyf.size()));
    const auto clamp16 = [](int v) {
        return static_cast<uint16_t>(static_cast<int16_t>(std::clamp<int>(v, -32768, 32767)));
    };
    const bool anyGlyph = maxExtent != std::numeric_limits<int16_t>::min();

    std::string head = face_.at("head");
    Put32(head, 8, 0);
    Put16(head, 36, static_cast<uint16_t>(xMin_));
    Put16(head, 38, static_cast<uint16_t>(yMin_));
    Put16(head, 40, static_cast<uint16_t>(xMax_));
    Put16(head, 42, static_cast<uint16_t>(yMax_));
    Put16(head, 50, 1);
    // hhea and vhea share a layout: the largest advance, the smallest bearings on either side, the
    // largest extent, and the number of long metrics (every glyph's, here).
    const auto header = [&](const char* tag, uint16_t largest, int before, int after, int extent) {
        std::string table = face_.at(tag);
        Put16(table, 10, largest);
        if (anyGlyph) {
            Put16(table, 12, clamp16(before));
            Put16(table, 14, clamp16(after));
            Put16(table, 16, clamp16(extent));
        }
        Put16(table, 34, static_cast<uint16_t>(count));
        return table;
    };
    std::string maxp = face_.at("maxp");
    Put16(maxp, 4, static_cast<uint16_t>(count));
    if (maxp.size() >= 32 && maxp_.size() == 13) {
        for (size_t i = 0; i < maxp_.size(); ++i) Put16(maxp, 6 + 2 * i, maxp_[i]);
    }
    out["head"] = head;
    out["hhea"] = header("hhea", widest, minLeft, minRight, maxExtent);
    out["maxp"] = maxp;
    out["loca"] = loca;
    out["glyf"] = glyf;
    out["hmtx"] = hmtx;
    if (!vertical_.empty()) {
        out["vhea"] = header("vhea", tallest, minTop, minBottom, maxVertical);
        out["vmtx"] = vmtx;
    }

    // The table directory, then each table padded to four bytes, in tag order.
    const auto tableCount = static_cast<uint16_t>(out.size());
    uint16_t power = 1, selector = 0;
    while (power * 2 <= tableCount) power *= 2, ++selector;
    std::string font;
    Append32(font, version_);
    Append16(font, tableCount);
    Append16(font, power * 16u);
    Append16(font, selector);
    Append16(font, tableCount * 16u - power * 16u);
    size_t offset = font.size() + 16ull * tableCount;
    size_t headAt = 0;
    for (const auto& [tag, data] : out) {
        font += tag;
        Append32(font, CheckSum(data));
        Append32(font, static_cast<uint32_t>(offset));
        Append32(font, static_cast<uint32_t>(data.size()));
        if (tag == "head")
            headAt = offset;
        offset += (data.size() + 3) / 4 * 4;
    }
    for (const auto& [tag, data] : out) {
        font += data;
        font.append((4 - data.size() % 4) % 4, '\0');
    }
    Put32(font, headAt + 8, 0xB1B0AFBAu - CheckSum(font));
    return font;
}

}  // namespace pdf
