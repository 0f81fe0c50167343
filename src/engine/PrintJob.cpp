#include "engine/PrintJob.h"

#include <algorithm>

#include "util/Format.h"

namespace engine {
namespace {

const char* const kFirstPageOnly = "1";
// Room below a scrolled chapter's measured content, in CSS pixels: the measure is taken on the screen,
// and a spill of a few pixels would make a page of its own.
constexpr double kScrollSlackPixels = 24.0;

}  // namespace

browser::PrintParameters PrintParametersFor(const PageSetup& page, const PrintJob& job) {
    browser::PrintParameters params;
    switch (job.kind) {
        case PrintJob::Kind::Chapter:
        case PrintJob::Kind::Cover: {
            // The browser's long-standing parameters, with what the setup changes (an unchanged value
            // goes as it always went).
            const PageSetup standard;
            auto set = [](double& param, double value, double standardValue) {
                if (value != standardValue)
                    param = value;
            };
            set(params.paperWidth, page.width, standard.width);
            set(params.paperHeight, page.height, standard.height);
            set(params.marginTop, page.marginTop, standard.marginTop);
            set(params.marginRight, page.marginRight, standard.marginRight);
            set(params.marginBottom, page.marginBottom, standard.marginBottom);
            set(params.marginLeft, page.marginLeft, standard.marginLeft);
            set(params.scale, page.scale, standard.scale);
            params.landscape = page.landscape;
            // A cover is the fitted picture: never a blank page after it. A chapter that runs to tens of
            // thousands of pages (a runaway layout) would fill the memory of the browser and the merge: the
            // browser prints one page past the bound at most (it stops a range at the document's end).
            params.pageRanges = job.kind == PrintJob::Kind::Cover
                                    ? std::string(kFirstPageOnly)
                                    : util::FormatString("1-%d", job.pageLimit + 1);
            break;
        }
        case PrintJob::Kind::Scrolled: {
            // The paper's width, orientation applied; as tall as the content at the setup's scale, with
            // the margins and a little room for what the measure missed. Taller content is cut into
            // pages of the largest height.
            params.paperWidth = page.PaperWidth();
            params.marginTop = page.marginTop;
            params.marginRight = page.marginRight;
            params.marginBottom = page.marginBottom;
            params.marginLeft = page.marginLeft;
            params.scale = page.scale;
            const double tall =
                (job.height + kScrollSlackPixels) * page.scale / 96.0 + page.marginTop + page.marginBottom;
            params.paperHeight =
                std::clamp(tall, page.marginTop + page.marginBottom + 1.0, kLargestPageInches);
            params.pageRanges = util::FormatString("1-%d", job.pageLimit + 1);
            break;
        }
        case PrintJob::Kind::FixedLayout:
            // One page of the document's own size, at its own scale.
            params.paperWidth = job.width / 96.0;
            params.paperHeight = job.height / 96.0;
            params.SetMargins(0.0);
            params.scale = 1.0;
            params.pageRanges = std::string(kFirstPageOnly);
            break;
        case PrintJob::Kind::Sheet:
            params.paperWidth = job.width;
            params.paperHeight = job.height;
            params.SetMargins(0.0);
            params.scale = 1.0;
            params.printBackground = false;
            params.generateTaggedPdf = false;  // drawn as pagination, outside the text
            break;
    }
    return params;
}

}  // namespace engine
