// PDFs written by hand, object by object, for the PDF library's tests and fuzz targets; and a Flate
// stream that qpdf's reader misreads.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testing_support {

class RawPdf {
  public:
    int Add(const std::string& body) {
        objects_.push_back(body);
        return static_cast<int>(objects_.size());
    }
    void Set(int object, const std::string& body) { objects_.at(object - 1) = body; }
    int AddStream(const std::string& dict, const std::string& data) {
        return Add("<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                   "\nendstream");
    }
    std::string Bytes(int root) const {
        std::string pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        std::vector<size_t> offsets;
        for (size_t i = 0; i < objects_.size(); ++i) {
            offsets.push_back(pdf.size());
            pdf += std::to_string(i + 1) + " 0 obj\n" + objects_[i] + "\nendobj\n";
        }
        const size_t xref = pdf.size();
        pdf += "xref\n0 " + std::to_string(objects_.size() + 1) + "\n0000000000 65535 f \n";
        for (const size_t offset : offsets) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            pdf += entry;
        }
        return pdf + "trailer\n<< /Size " + std::to_string(objects_.size() + 1) + " /Root " +
               std::to_string(root) + " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    }

  private:
    std::vector<std::string> objects_;
};

inline std::string Ref(int object) {
    return std::to_string(object) + " 0 R";
}

// Sound zlib data that qpdf 11's reader (10,240 bytes read at a time, inflated into a 65,536-byte
// buffer) warns of as "input stream is complete but output may still be valid": its first 10,240 bytes
// inflate to exactly 65,536 bytes. Zeros deflated and flushed to a byte, then stored blocks: one that
// ends at byte 10,240, the last one of extra bytes. decoded: what it inflates to (66,536 bytes).
inline std::string FlateDataQpdfWarnsOf(std::string& decoded) {
    const auto stored = [](const std::string& data, bool last) {
        const auto length = static_cast<unsigned>(data.size());
        std::string block(1, last ? '\x01' : '\x00');
        block += static_cast<char>(length & 0xFF);
        block += static_cast<char>(length >> 8);
        block += static_cast<char>(~length & 0xFF);
        block += static_cast<char>((~length >> 8) & 0xFF);
        return block + data;
    };
    for (size_t zeros = 55000; zeros < 56000; ++zeros) {
        // The zeros as raw deflate, flushed to a byte boundary (not the last block).
        z_stream z{};
        if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return {};
        std::string input(zeros, '\0');
        std::string zeroBlock(zeros, '\0');
        z.next_in = reinterpret_cast<Bytef*>(input.data());
        z.avail_in = static_cast<uInt>(input.size());
        z.next_out = reinterpret_cast<Bytef*>(zeroBlock.data());
        z.avail_out = static_cast<uInt>(zeroBlock.size());
        deflate(&z, Z_SYNC_FLUSH);
        zeroBlock.resize(zeroBlock.size() - z.avail_out);
        deflateEnd(&z);
        const size_t first = 10240 - 2 - zeroBlock.size() - 5;  // the stored block's bytes
        if (zeros + first != 65536)
            continue;
        decoded = input + std::string(first, 'A') + std::string(1000, 'B');
        std::string data = "\x78\x9C" + zeroBlock + stored(std::string(first, 'A'), false) +
                           stored(std::string(1000, 'B'), true);
        const uLong adler =
            adler32(1, reinterpret_cast<const Bytef*>(decoded.data()), static_cast<uInt>(decoded.size()));
        for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((adler >> shift) & 0xFF);
        return data;
    }
    return {};
}

// A page that draws an 8 x 8317 grey image whose Flate data qpdf's reader warns of (above).
inline std::string PdfQpdfWarnsOf() {
    std::string decoded;
    const std::string data = FlateDataQpdfWarnsOf(decoded);
    RawPdf pdf;
    const int image = pdf.AddStream(
        "/Type /XObject /Subtype /Image /Width 8 /Height 8317 /ColorSpace /DeviceGray /BitsPerComponent 8 "
        "/Filter /FlateDecode",
        data);
    const int content = pdf.AddStream("", "q 8 0 0 500 100 100 cm /Im1 Do Q");
    const int pages = pdf.Add("");
    const int page = pdf.Add("<< /Type /Page /Parent " + Ref(pages) + " /MediaBox [0 0 300 800] /Contents " +
                             Ref(content) + " /Resources << /XObject << /Im1 " + Ref(image) + " >> >> >>");
    pdf.Set(pages, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
    return pdf.Bytes(pdf.Add("<< /Type /Catalog /Pages " + Ref(pages) + " >>"));
}

}  // namespace testing_support
