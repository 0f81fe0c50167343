// The settings file as the front ends read it: once, at their start, into the values that the engine
// and the browser take. Nothing below the front ends opens the file.
#pragma once

#include <string>

#include "browser/BrowserProvisioner.h"
#include "engine/EngineSettings.h"

namespace settings {

// Section "browser": path, store, revision, search_path, address; what is missing keeps its default.
browser::ProvisionerSettings ReadBrowserSettings(const std::string& path);
// Section "page": paper, landscape, margins, scale, page_numbers, number_position, header,
// number_first_page, read into
// setup (what is missing keeps its value). Empty, or the first value refused and why.
std::string ReadPageSetup(const std::string& path, engine::PageSetup& setup);
// Sections "app" (jobs, chapter_seconds, chapter_pages), "browser" (the above, and allow_network) and
// "page"; a refused value is in the result's problem.
engine::EngineSettings ReadEngineSettings(const std::string& path);
// Empty when value may stand as [browser] path: empty (the browser is found), a browser's address, or an
// executable file; otherwise why not. A path that is no browser is refused, never passed over for
// another browser.
std::string CheckBrowserPath(const std::string& value);
// The window's "app" output_folder, as a full path; empty when the PDFs go next to their books.
std::string ReadOutputFolder(const std::string& path);

}  // namespace settings
