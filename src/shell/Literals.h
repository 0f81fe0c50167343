// Texts of the desktop program that are not kept in plain text in the executable.
#pragma once

#include <string>

#include "util/Scrambled.h"

namespace shell {

// The product title: window caption, title label, tray tip and message-box captions.
inline const std::string& Title() {
    return SCRAMBLED("EPUB转PDF转换器", 0x4f2a91c7e3b05d68ull);
}
// The main window's class name, which also names the single-instance channel.
inline const std::string& WindowClassName() {
    return SCRAMBLED("Epub2PdfMainWindow", 0x19d3b7e0a45c2f86ull);
}
// The interface package's name.
inline const std::string& PackageName() {
    return SCRAMBLED("skin.rcc", 0x2b6f0d48a1e97c35ull);
}
// The system's copy of the help pages, when none lies beside the program.
inline const std::string& HelpTarget() {
    return SCRAMBLED("/usr/share/epub2pdf/help", 0x0c7d2e95b4a16f38ull);
}

}  // namespace shell
