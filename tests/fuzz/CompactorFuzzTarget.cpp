#include "CompactorFuzzTarget.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <sstream>
#include <vector>

#include "pdf/Assembler.h"
#include "pdf/Check.h"
#include "pdf/Compactor.h"
#include "pdf/RawPdf.h"
#include "util/AtomicFile.h"
#include "util/Files.h"

namespace {

using testing_support::RawPdf;
using testing_support::Ref;

// The recipe's bytes, read one at a time; past their end, a generator seeded by all of them.
class Recipe {
  public:
    Recipe(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {
        for (std::size_t i = 0; i < size; ++i) state_ = (state_ ^ data[i]) * 1099511628211ull;
    }
    unsigned Next() {
        if (at_ < size_)
            return data_[at_++];
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<unsigned>(state_ >> 24) & 0xFF;
    }
    unsigned Below(unsigned n) { return n == 0 ? 0 : (Next() << 8 | Next()) % n; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::uint64_t state_ = 1469598103934665603ull;
};

std::string Deflated(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

// A glyph procedure as the browser draws a glyph in thousandths of an em: integers, or (a glyph made
// bold) numbers to five decimals; now and then a mask drawn inline.
std::string GlyphProcedure(unsigned seed) {
    Recipe shape(reinterpret_cast<const std::uint8_t*>(&seed), sizeof seed);
    const bool fine = shape.Below(3) == 0;
    const auto number = [&](int low, int high) {
        const int whole = low + static_cast<int>(shape.Below(static_cast<unsigned>(high - low)));
        if (!fine)
            return std::to_string(whole);
        char text[32];
        std::snprintf(text, sizeof text, "%.5f", whole + shape.Below(100000) / 100000.0);
        return std::string(text);
    };
    std::string out = "1000 0 " + number(0, 100) + " " + number(-880, -700) + " " + number(800, 1000) + " " +
                      number(0, 120) + " d1\n";
    const unsigned parts = 1 + shape.Below(12);
    for (unsigned p = 0; p < parts; ++p) {
        out += number(0, 1000) + " " + number(-880, 120) + " m\n";
        for (unsigned s = 0, n = 2 + shape.Below(6); s < n; ++s) {
            if (shape.Below(3) == 0)
                out += number(0, 1000) + " " + number(-880, 120) + " " + number(0, 1000) + " " +
                       number(-880, 120) + " " + number(0, 1000) + " " + number(-880, 120) + " c\n";
            else
                out += number(0, 1000) + " " + number(-880, 120) + " l\n";
        }
        out += "h\n";
    }
    if (shape.Below(16) == 0)
        out += "q 100 0 0 100 0 -100 cm BI /W 8 /H 1 /IM true /BPC 1 ID \xA5 EI Q\n";
    return out + "f\n";
}

struct Chapter {
    std::string pdf;
};

// One chapter of a recipe: pages of text in Type 3 fonts. A glyph is a number in the book's pool
// (its procedure and text follow from it); font f of every chapter draws from the same part of the pool.
Chapter MakeChapter(Recipe& recipe, unsigned chapterIndex, bool compressed) {
    RawPdf pdf;
    const int pagesObject = pdf.Add("");
    const unsigned fonts = 1 + recipe.Below(8);
    std::string resources = "<< /Font <<";
    std::vector<std::vector<unsigned>> glyphsOf(fonts);  // per font: the pool glyph of each code
    for (unsigned f = 0; f < fonts; ++f) {
        const unsigned glyphs = 1 + recipe.Below(255);
        const unsigned base = f * 400 + (recipe.Below(4) == 0 ? chapterIndex * 7 : 0);
        std::string procs, differences, widths, cmap;
        int mapped = 0;
        for (unsigned code = 0; code < glyphs; ++code) {
            const unsigned glyph = base + recipe.Below(300);
            glyphsOf[f].push_back(glyph);
            const std::string name = "/g" + std::to_string(glyph);
            const std::string procedure = GlyphProcedure(glyph);
            const int proc = compressed ? pdf.AddStream("/Filter /FlateDecode", Deflated(procedure))
                                        : pdf.AddStream("", procedure);
            procs += " " + name + " " + Ref(proc);
            differences += " " + name;
            widths += code % 7 == 3 ? " 0" : " 1000";
            char entry[32];
            std::snprintf(entry, sizeof entry, "<%02X> <%04X>\n", code, 0x4E00 + glyph % 20000);
            cmap += entry;
            ++mapped;
        }
        const std::string toUnicode =
            "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def /CMapType 2 def\n"
            "1 begincodespacerange <00> <FF> endcodespacerange\n" +
            std::to_string(mapped) + " beginbfchar\n" + cmap +
            "endbfchar\nendcmap CMapName currentdict /CMap defineresource pop end end";
        const int unicode = compressed ? pdf.AddStream("/Filter /FlateDecode", Deflated(toUnicode))
                                       : pdf.AddStream("", toUnicode);
        const int descriptor = pdf.Add(
            "<< /Type /FontDescriptor /FontName /NotoSerifCJKsc-Bold /Flags 4 /FontBBox [0 -880 1000 120] "
            "/ItalicAngle 0 /Ascent 880 /Descent -120 /CapHeight 700 /StemV 80 >>");
        const int font = pdf.Add(
            "<< /Type /Font /Subtype /Type3 /FontMatrix [.001 0 0 -.001 0 0] /FontBBox [0 -880 1000 120] "
            "/CharProcs <<" +
            procs + " >> /Encoding << /Type /Encoding /Differences [0" + differences +
            "] >> /FirstChar 0 "
            "/LastChar " +
            std::to_string(glyphs - 1) + " /Widths [" + widths + "] /FontDescriptor " + Ref(descriptor) +
            " /ToUnicode " + Ref(unicode) + " >>");
        resources += " /F" + std::to_string(f) + " " + Ref(font);
    }
    resources += " >> >>";
    const unsigned pages = 1 + recipe.Below(3);
    std::string kids;
    for (unsigned p = 0; p < pages; ++p) {
        std::string content;
        for (unsigned line = 0, lines = 1 + recipe.Below(30); line < lines; ++line) {
            const unsigned f = recipe.Below(fonts);
            content += "BT /F" + std::to_string(f) + " 12 Tf 72 " + std::to_string(760 - line * 20) + " Td <";
            for (unsigned i = 0, n = 1 + recipe.Below(40); i < n; ++i) {
                char code[16];
                std::snprintf(code, sizeof code, "%02X",
                              recipe.Below(static_cast<unsigned>(glyphsOf[f].size())));
                content += code;
            }
            content += "> Tj ET\n";
        }
        const int stream = compressed ? pdf.AddStream("/Filter /FlateDecode", Deflated(content))
                                      : pdf.AddStream("", content);
        kids += " " + Ref(pdf.Add("<< /Type /Page /Parent " + Ref(pagesObject) +
                                  " /MediaBox [0 0 595.92 841.92] /Contents " + Ref(stream) + " /Resources " +
                                  resources + " >>"));
    }
    pdf.Set(pagesObject, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    return {pdf.Bytes(pdf.Add("<< /Type /Catalog /Pages " + Ref(pagesObject) + " >>"))};
}

// Whether two content streams say the same to four decimals.
bool SameDrawing(const std::string& a, const std::string& b) {
    std::istringstream x(a), y(b);
    std::string s, t;
    while (true) {
        const bool more = static_cast<bool>(x >> s), other = static_cast<bool>(y >> t);
        if (more != other)
            return false;
        if (!more)
            return true;
        if (s == t)
            continue;
        char* end1 = nullptr;
        char* end2 = nullptr;
        const double u = std::strtod(s.c_str(), &end1), v = std::strtod(t.c_str(), &end2);
        if (*end1 != '\0' || *end2 != '\0' || std::fabs(u - v) > 0.00005 + 1e-9)  // half the fourth decimal
            return false;
    }
}

std::string Data(QPDFObjectHandle stream) {
    const std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_generalized);
    return {reinterpret_cast<const char*>(data->getBuffer()), data->getSize()};
}

// What a page shows: its content, and per font its kind, widths, glyph names and procedures.
struct Page {
    std::string content;
    std::map<std::string, std::string> fonts;       // resource name -> kind, widths, glyph names
    std::map<std::string, std::string> procedures;  // resource name + glyph name -> procedure
};

std::vector<Page> Pages(const std::string& bytes, std::string& fault) {
    std::vector<Page> pages;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("pdf", bytes.data(), bytes.size());
        for (QPDFPageObjectHelper& helper : QPDFPageDocumentHelper(pdf).getAllPages()) {
            Page page;
            Pl_Buffer content("content");
            helper.pipeContents(&content);
            const std::unique_ptr<Buffer> drawn(content.getBuffer());
            page.content.assign(reinterpret_cast<const char*>(drawn->getBuffer()), drawn->getSize());
            QPDFObjectHandle fonts = helper.getAttribute("/Resources", false).getKey("/Font");
            if (fonts.isDictionary()) {
                for (auto [name, font] : fonts.ditems()) {
                    std::string& kind = page.fonts[name];
                    kind = font.getKey("/Subtype").unparse() + " " + font.getKey("/Widths").unparseResolved();
                    QPDFObjectHandle procs = font.getKey("/CharProcs");
                    if (!procs.isDictionary())
                        continue;
                    for (auto [glyph, procedure] : procs.ditems()) {
                        kind += " " + glyph;
                        page.procedures[name + glyph] = procedure.isStream() ? Data(procedure) : "?";
                    }
                }
            }
            pages.push_back(std::move(page));
        }
    } catch (const std::exception& e) {
        fault = std::string("cannot be read back: ") + e.what();
    }
    return pages;
}

std::string Compare(const std::string& merged, const std::string& compacted) {
    std::string fault;
    const std::vector<Page> before = Pages(merged, fault);
    const std::vector<Page> after = Pages(compacted, fault);
    if (!fault.empty())
        return fault;
    if (before.size() != after.size())
        return "the compacted document has " + std::to_string(after.size()) + " pages, not " +
               std::to_string(before.size());
    for (size_t p = 0; p < before.size(); ++p) {
        const std::string page = "page " + std::to_string(p + 1) + ": ";
        if (before[p].content != after[p].content)
            return page + "its content differs";
        if (before[p].fonts != after[p].fonts)
            return page + "its fonts differ";
        for (const auto& [glyph, procedure] : before[p].procedures) {
            auto it = after[p].procedures.find(glyph);
            if (it == after[p].procedures.end() || !SameDrawing(procedure, it->second))
                return page + "the glyph " + glyph + " draws otherwise:\n" + procedure + "\nagainst\n" +
                       (it == after[p].procedures.end() ? std::string("none") : it->second);
        }
    }
    return {};
}

}  // namespace

std::string CompactorFault(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string merged, compacted, fault;
    if (bytes.rfind("%PDF", 0) == 0) {
        // A PDF as it is: whatever compacts must be sound.
        if (!pdf::Compact(bytes, compacted))
            return {};
        merged = bytes;
    } else {
        Recipe recipe(data, size);
        const bool compressed = recipe.Below(2) == 0;
        std::vector<Chapter> chapters;
        for (unsigned c = 0, n = 1 + recipe.Below(4); c < n; ++c)
            chapters.push_back(MakeChapter(recipe, c, compressed));
        std::string folder = (std::filesystem::temp_directory_path() / "epub2pdf-fuzz-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr)
            return {};
        {
            pdf::Assembler assembler(folder + "/merged.pdf");
            assembler.SetCompaction(false);  // the merged document checks clean, or it is not written
            util::Status written;
            for (size_t i = 0; i < chapters.size() && written; ++i) {
                const std::string path = folder + "/" + std::to_string(i + 1) + ".pd_";
                written = util::WriteFileAtomically(path, chapters[i].pdf) ? assembler.AddChapter(path, "")
                                                                           : util::Status::Failure("no room");
            }
            if (written)
                written = assembler.Write();
            if (!written || !util::ReadFileBytes(folder + "/merged.pdf", merged))
                fault = "the chapters of a recipe do not merge: " + written.Reason();
        }
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        if (!fault.empty())
            return fault;
        if (const util::Status done = pdf::Compact(merged, compacted); !done)
            return "the merged chapters of a recipe do not compact: " + done.Reason();
    }
    if (const util::Status sound = pdf::CheckDocument(compacted); !sound)
        return "the compacted document does not check clean: " + sound.Reason();
    return Compare(merged, compacted);
}

int FuzzCompactor(const std::uint8_t* data, std::size_t size) {
    const std::string fault = CompactorFault(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
