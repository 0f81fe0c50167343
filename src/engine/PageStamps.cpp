#include "engine/PageStamps.h"

#include <algorithm>

#include "util/Format.h"
#include "util/Text.h"

namespace engine {
namespace {

constexpr double kThinnestBand = 0.4;  // inches: room for 9 pt text

}  // namespace

double BandHeight(double margin) {
    return std::max(margin, kThinnestBand);
}

std::string StampSheet(const PageSetup& setup, int pages, double widthInches, double heightInches,
                       const std::string& title, const std::string& language) {
    std::string html = util::FormatString(
        "<!DOCTYPE html><html lang=\"%s\"><head><meta charset=\"utf-8\"><style>"
        "@page { size: %.4fin %.4fin; margin: 0 }"
        "html, body { margin: 0; padding: 0; background: transparent }"
        "div { box-sizing: border-box; width: %.4fin; height: %.4fin; padding: 0 %.4fin 0 %.4fin;"
        " display: flex; align-items: center; overflow: hidden; white-space: nowrap;"
        " font: 9pt/1.2 sans-serif; color: #444 }"
        "div + div { break-before: page }"
        "span { overflow: hidden; text-overflow: ellipsis }"
        ".l { justify-content: flex-start } .c { justify-content: center } .r { justify-content: flex-end }"
        "</style></head><body>",
        util::MarkupEscaped(language), widthInches, heightInches, widthInches, heightInches,
        setup.marginRight, setup.marginLeft);
    const std::string text = util::MarkupEscaped(title);
    html.reserve(html.size() + static_cast<size_t>(pages) * 40);
    for (int page = 1; page <= pages; ++page) {
        const char* side = "c";
        if (title.empty()) {
            switch (setup.numberPosition) {
                case NumberPosition::Left:
                    side = "l";
                    break;
                case NumberPosition::Right:
                    side = "r";
                    break;
                case NumberPosition::Outside:
                    side = page % 2 == 1 ? "r" : "l";
                    break;
                case NumberPosition::Center:
                    break;
            }
        }
        // The first page is a cover or a title page: it keeps its count, without showing it.
        const bool shown = page > 1 || setup.numberFirstPage;
        html += util::FormatString("<div class=\"%s\"><span dir=\"auto\">%s</span></div>", side,
                                   !shown          ? std::string()
                                   : title.empty() ? std::to_string(page)
                                                   : text);
    }
    return html + "</body></html>";
}

}  // namespace engine
