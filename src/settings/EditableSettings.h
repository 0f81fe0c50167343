// The values of the settings file that the window's settings dialog shows and stores, as the file holds
// them: texts as written (the dialog checks them before it stores them), switches as 1 or 0.
#pragma once

#include <string>

namespace settings {

struct EditableSettings {
    std::string outputFolder;               // [app] output_folder; empty: next to each book
    int jobs = 0;                           // [app] jobs; 0: what the machine carries
    std::string paper = "Letter";           // [page] paper
    bool landscape = false;                 // [page] landscape
    std::string margins = "0.8in";          // [page] margins
    std::string scale = "1.1";              // [page] scale
    bool pageNumbers = false;               // [page] page_numbers
    std::string numberPosition = "center";  // [page] number_position
    bool header = false;                    // [page] header
    bool numberFirstPage = false;           // [page] number_first_page
    std::string browserPath;                // [browser] path; empty: found by itself
};

// What the file holds; what is missing keeps the defaults above.
EditableSettings ReadEditableSettings(const std::string& path);
// Stores every value, one rewrite of the file a section. False when writing failed.
bool WriteEditableSettings(const std::string& path, const EditableSettings& values);

}  // namespace settings
