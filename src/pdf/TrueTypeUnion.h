// Unites subsets of one TrueType face into one font program. The browser embeds, chapter after chapter,
// a subset of each face it draws with; every subset keeps the face's own glyph ids (a glyph left out is
// empty), so subsets of one face can be laid over each other glyph by glyph.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pdf {

// The parts of a TrueType font program (an sfnt with glyf outlines) that uniting reads.
struct TrueTypeProgram {
    std::map<std::string, std::string> tables;  // tag -> bytes
    uint32_t version = 0;                       // 0x00010000 or 'true'
    uint16_t glyphCount = 0;
    std::vector<std::pair<uint32_t, uint32_t>> glyphSpans;  // per glyph id: where in glyf; empty: left out
    struct Metric {
        uint16_t advance = 0;
        int16_t bearing = 0;
    };
    std::vector<Metric> horizontal, vertical;  // per glyph id; vertical empty without vhea/vmtx

    // Null when the bytes are not a TrueType program with the tables uniting needs, or they do not
    // agree with each other (a glyph that runs past glyf, for instance).
    static std::optional<TrueTypeProgram> Read(std::string_view bytes);
    // A glyph's outline as stored, without the zeros that pad it; empty when the subset left it out.
    std::string_view Glyph(uint16_t id) const { return Trimmed(RawGlyph(id)); }
    // The same with the padding, as stored.
    std::string_view RawGlyph(uint16_t id) const;
    static std::string_view Trimmed(std::string_view glyph);
};

class TrueTypeUnion {
  public:
    // Whether a program is a subset of the face this union holds: the tables that make the face (its
    // name, hinting programs, units, vertical extent) are equal, and every glyph both hold is the same
    // outline. True for the first program.
    bool Accepts(const TrueTypeProgram& program) const;
    // Lays the program's glyphs and their metrics over the union; call only when Accepts holds.
    void Add(const TrueTypeProgram& program);
    // The united program: every glyph of every subset, the face's tables from the first subset, glyph
    // tables with long offsets, the per-glyph tables that a union cannot keep true (hdmx, LTSH, VDMX,
    // kern, the layout tables) left out, and glyph names (post) dropped.
    std::string Program() const;
    int SubsetCount() const { return subsets_; }

  private:
    std::map<std::string, std::string> face_;  // tables from the first subset
    uint32_t version_ = 0;
    std::vector<std::string> glyphs_;
    std::vector<TrueTypeProgram::Metric> horizontal_, vertical_;
    std::vector<bool> metricSet_;
    int subsets_ = 0;
    // Extents that differ from subset to subset: glyph bounding box, and the hhea/vhea extremes.
    int16_t xMin_ = 0, yMin_ = 0, xMax_ = 0, yMax_ = 0;
    std::vector<uint16_t> maxp_;  // maxp's fields after numGlyphs, as the largest of every subset
};

}  // namespace pdf
