// The settings file as the front ends read it: once, at their start, into the values that the engine
// and the browser take. Nothing below the front ends opens the file.
#pragma once

#include <string>

#include "browser/BrowserProvisioner.h"
#include "engine/EngineSettings.h"

namespace settings {

// Section "browser": path, store, revision, search_path, address; what is missing keeps its default.
browser::ProvisionerSettings ReadBrowserSettings(const std::string& path);
// Sections "app" (jobs) and "browser" (the above, and allow_network).
engine::EngineSettings ReadEngineSettings(const std::string& path);

}  // namespace settings
