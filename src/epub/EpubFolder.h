// An unpacked book folder: where its package document is.
#pragma once

#include <string>

namespace epub {

class EpubFolder {
  public:
    explicit EpubFolder(const std::string& folder);

    // The absolute path of the package document named by META-INF/container.xml, or an empty string;
    // then problem (when given) says why.
    std::string GetPackagePath(std::string* problem = nullptr) const;
    // The folder, absolute and ending in '/'.
    const std::string& Folder() const { return folder_; }

  private:
    std::string folder_;
};

}  // namespace epub
