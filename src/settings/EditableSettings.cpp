#include "settings/EditableSettings.h"

#include "util/IniFile.h"

namespace settings {
namespace {

bool IsOn(const std::string& value) {
    return value == "1" || value == "yes" || value == "true";
}

const char* Switch(bool on) {
    return on ? "1" : "0";
}

}  // namespace

EditableSettings ReadEditableSettings(const std::string& path) {
    const util::IniFile app(path, "app"), page(path, "page"), browser(path, "browser");
    EditableSettings values;
    values.outputFolder = app.GetString("output_folder");
    values.jobs = app.GetInt("jobs", 0);
    values.paper = page.GetString("paper", values.paper);
    values.landscape = IsOn(page.GetString("landscape"));
    values.margins = page.GetString("margins", values.margins);
    values.scale = page.GetString("scale", values.scale);
    values.pageNumbers = IsOn(page.GetString("page_numbers"));
    values.numberPosition = page.GetString("number_position", values.numberPosition);
    values.header = IsOn(page.GetString("header"));
    values.numberFirstPage = IsOn(page.GetString("number_first_page"));
    values.browserPath = browser.GetString("path");
    return values;
}

bool WriteEditableSettings(const std::string& path, const EditableSettings& values) {
    const bool app =
        util::IniFile(path, "app")
            .SetStrings({{"output_folder", values.outputFolder}, {"jobs", std::to_string(values.jobs)}});
    const bool page = util::IniFile(path, "page")
                          .SetStrings({{"paper", values.paper},
                                       {"landscape", Switch(values.landscape)},
                                       {"margins", values.margins},
                                       {"scale", values.scale},
                                       {"page_numbers", Switch(values.pageNumbers)},
                                       {"number_position", values.numberPosition},
                                       {"header", Switch(values.header)},
                                       {"number_first_page", Switch(values.numberFirstPage)}});
    const bool browser = util::IniFile(path, "browser").SetStrings({{"path", values.browserPath}});
    return app && page && browser;
}

}  // namespace settings
