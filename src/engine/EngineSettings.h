// What the engine needs of the user's settings. The front end reads the settings file once into this
// value and passes it down: the worker, every job and the browser manager use it, and none of them
// opens the settings file.
#pragma once

#include <string>

#include "browser/BrowserProvisioner.h"
#include "engine/PageSetup.h"

namespace engine {

struct EngineSettings {
    browser::ProvisionerSettings browser;  // [browser] path, store, revision, search_path
    bool allowNetwork = false;             // [browser] allow_network: pages may load http(s) resources
    int jobs = 0;                          // [app] jobs: books at once; 0 when the machine decides
    int chapterSeconds = 60;               // [app] chapter_seconds: a chapter that does not load and print
                                           // within this is left out
    int chapterPages = 5000;               // [app] chapter_pages: a chapter that prints more pages than
                                           // this is left out
    bool compact = true;                   // [app] compact: fonts, images and glyphs stored once (0: the
                                           // document as merged, larger)
    PageSetup page;                        // [page]: paper, margins, scale, page numbers, header
    std::string problem;                   // a setting that was refused, named with its value; nothing is
                                           // converted with settings read in part
};

}  // namespace engine
