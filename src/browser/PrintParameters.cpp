#include "browser/PrintParameters.h"

#include <nlohmann/json.hpp>

namespace browser {

nlohmann::json PrintParameters::ToJson() const {
    nlohmann::json params{{"landscape", landscape},
                          {"displayHeaderFooter", displayHeaderFooter},
                          {"printBackground", printBackground},
                          {"scale", scale},
                          {"paperWidth", paperWidth},
                          {"paperHeight", paperHeight},
                          {"marginTop", marginTop},
                          {"marginRight", marginRight},
                          {"marginBottom", marginBottom},
                          {"marginLeft", marginLeft}};
    if (!pageRanges.empty())
        params["pageRanges"] = pageRanges;
    if (generateTaggedPdf)
        params["generateTaggedPDF"] = *generateTaggedPdf;
    return params;
}

}  // namespace browser
