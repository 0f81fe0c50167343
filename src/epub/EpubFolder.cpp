#include "epub/EpubFolder.h"

#include "epub/XmlFile.h"
#include "util/Utilities.h"

namespace epub {

EpubFolder::EpubFolder(const std::string& folder) {
    std::string f = folder;
    if (f.empty() || (f.back() != '/' && f.back() != '\\')) f += '/';
    folder_ = util::ToFullPath(f);
    if (folder_.back() != '/') folder_ += '/';
}

std::string EpubFolder::GetPackagePath() const {
    const std::string container = folder_ + "META-INF/container.xml";
    if (!util::FileExists(container)) return {};
    XmlFile xml(container);
    pugi::xml_node node = xml.SelectNode("//rootfile");
    if (!node) return {};
    const std::string fullPath = XmlFile::GetAttribute(node, "full-path");
    if (fullPath.empty()) return {};
    const std::string candidate = util::JoinPath(folder_, fullPath);
    if (!util::IsInsideFolder(candidate, folder_)) return {};
    return util::FileExists(candidate) ? candidate : std::string();
}

std::string EpubFolder::GetNcxPath() const {
    const std::string package = GetPackagePath();
    if (package.empty()) return {};
    const std::string candidate = util::GetFolderOf(package) + "toc.ncx";
    return util::FileExists(candidate) ? candidate : std::string();
}

}  // namespace epub
