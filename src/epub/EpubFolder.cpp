#include "epub/EpubFolder.h"

#include "epub/XmlFile.h"
#include "epub/XmlNames.h"
#include "util/Files.h"
#include "util/Paths.h"

namespace epub {

EpubFolder::EpubFolder(const std::string& folder) {
    std::string f = folder;
    if (f.empty() || (f.back() != '/' && f.back() != '\\'))
        f += '/';
    folder_ = util::ToFullPath(f);
    if (folder_.back() != '/')
        folder_ += '/';
}

std::string EpubFolder::GetPackagePath(std::string* problem) const {
    auto fail = [problem](std::string why) {
        if (problem != nullptr)
            *problem = std::move(why);
        return std::string();
    };
    const std::string container = folder_ + "META-INF/container.xml";
    if (!util::FileExists(container))
        return fail("META-INF/container.xml is missing");
    XmlFile xml(container);
    // The first rootfile whose media type is a package document's; one without a media type will do
    // when none has it.
    std::string fullPath;
    std::string untyped;
    for (pugi::xml_node rootfile : xml::Descendants(xml.Document(), xml::kContainer, "rootfile")) {
        const std::string path = xml::Attribute(rootfile, "full-path");
        const std::string type = xml::Attribute(rootfile, "media-type");
        if (path.empty())
            continue;
        if (type == "application/oebps-package+xml") {
            fullPath = path;
            break;
        }
        if (type.empty() && untyped.empty())
            untyped = path;
    }
    if (fullPath.empty())
        fullPath = untyped;
    if (fullPath.empty()) {
        const std::string parse = xml.Problem();
        return fail("META-INF/container.xml " +
                    (parse.empty() ? std::string("names no package document") : parse));
    }
    std::string candidate = util::JoinPath(folder_, fullPath);
    if (!util::IsInsideFolder(candidate, folder_))
        return fail("the package document " + fullPath + " lies outside the book");
    if (!util::FileExists(candidate))
        return fail("the package document " + fullPath + " is missing");
    return candidate;
}

}  // namespace epub
