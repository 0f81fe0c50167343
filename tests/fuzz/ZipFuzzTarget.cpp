#include "ZipFuzzTarget.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "zip/ZipArchive.h"

int FuzzZipArchive(const std::uint8_t* data, std::size_t size) {
    std::string folder = (std::filesystem::temp_directory_path() / "epub2pdf-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        return 0;
    const std::string archive = folder + "/input.zip";
    if (FILE* f = std::fopen(archive.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        zip::ZipArchive::ExtractAll(folder + "/out", archive, "");
    }
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(folder, ec);
    return 0;
}
