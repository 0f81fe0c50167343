// What Page.printToPDF is asked for: the paper, margins, scale and pages of one print. The defaults
// are the program's long-standing parameters (US Letter, 0.8 in margins, 110 %, backgrounds, no header
// or footer), each held as the single-precision value it always was and sent as the double it widens
// to.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace browser {

struct PrintParameters {
    bool landscape = false;  // the browser swaps the paper's sides
    bool displayHeaderFooter = false;
    bool printBackground = true;
    double scale = static_cast<double>(1.1f);
    double paperWidth = static_cast<double>(8.5f);  // inches
    double paperHeight = static_cast<double>(11.0f);
    double marginTop = static_cast<double>(0.8f);  // inches
    double marginRight = static_cast<double>(0.8f);
    double marginBottom = static_cast<double>(0.8f);
    double marginLeft = static_cast<double>(0.8f);
    std::string pageRanges;                 // "1", "1-5001"; empty: every page
    std::optional<bool> generateTaggedPdf;  // unset: the browser's default

    // All four margins at once.
    void SetMargins(double inches) { marginTop = marginRight = marginBottom = marginLeft = inches; }
    // The parameters as sent: every member above, the unset ones left out.
    nlohmann::json ToJson() const;
};

}  // namespace browser
