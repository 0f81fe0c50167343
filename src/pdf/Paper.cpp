#include "pdf/Paper.h"

#include <cmath>

#include "pdf/Objects.h"

namespace pdf {
namespace {

// Chromium takes each side up to whole points, then down to its 300-dpi device units (A4's 595.28 pt:
// 596, then 595.92), which moves a side by less than a point; a little more is allowed.
constexpr double kRounding = 1.5;  // points

bool Near(double a, double b) {
    return std::abs(a - b) <= kRounding;
}

}  // namespace

void FitToPaper(PoDoFo::PdfPage& page, const Paper& paper) {
    if (!paper.Set())
        return;
    const PoDoFo::PdfRect box = page.GetMediaBox();
    if (!Near(box.GetWidth(), paper.width) || !Near(box.GetHeight(), paper.height))
        return;
    const double top = box.GetBottom() + box.GetHeight();
    const PoDoFo::PdfRect exact(box.GetLeft(), top - paper.height, paper.width, paper.height);
    PoDoFo::PdfVariant array;
    exact.ToVariant(array);
    PoDoFo::PdfDictionary& dictionary = page.GetObject()->GetDictionary();
    dictionary.AddKey("MediaBox", array);
    if (dictionary.HasKey("CropBox")) {
        const PoDoFo::PdfRect crop = page.GetCropBox();
        if (Near(crop.GetLeft(), box.GetLeft()) && Near(crop.GetBottom(), box.GetBottom()) &&
            Near(crop.GetWidth(), box.GetWidth()) && Near(crop.GetHeight(), box.GetHeight()))
            dictionary.AddKey("CropBox", array);
    }
}

}  // namespace pdf
