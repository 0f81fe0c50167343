#include "frontend/BookPreview.h"

#include <unistd.h>

#include <cstdlib>
#include <map>

#include "epub/EpubBook.h"
#include "epub/EpubFolder.h"
#include "epub/XmlFile.h"
#include "epub/XmlNames.h"
#include "util/Files.h"
#include "util/Paths.h"
#include "util/Text.h"
#include "util/Urls.h"
#include "zip/ZipArchive.h"

namespace frontend {
namespace {

constexpr std::uint64_t kMostContainerBytes = 1ull << 20;
constexpr int kMostPackageDocuments = 8;  // a container may name several; the first that reads counts

// A private folder below the temporary folder, removed with what is in it.
class ScratchFolder {
  public:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe): only read
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/epub2pdf-look-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~ScratchFolder() {
        if (!path_.empty())
            util::RemoveFolderTree(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

struct Entry {
    int index;
    std::uint64_t size;
};

// The archive's entries by name, and taking one out below the scratch folder within a bound.
class Archive {
  public:
    bool Open(const std::string& path, const std::string& folder) {
        if (archive_.Open(path) != zip::kOk || archive_.SetBaseFolder(folder) != zip::kOk)
            return false;
        zip::ZipEntry count;
        if (archive_.GetItem(-1, count) != zip::kOk)
            return false;
        for (int i = 0; i < count.index; ++i) {
            zip::ZipEntry entry;
            if (archive_.GetItem(i, entry) == zip::kOk && !entry.name.empty() && !entry.symbolicLink &&
                (entry.attributes & zip::kAttrDirectory) == 0)
                entries_.emplace(entry.name, Entry{i, entry.uncompressedSize});
        }
        return true;
    }
    const std::map<std::string, Entry>& Entries() const { return entries_; }
    // Takes the entry out when it is there and no larger than most; false otherwise.
    bool Take(const std::string& name, std::uint64_t most) {
        auto it = entries_.find(name);
        return it != entries_.end() && it->second.size <= most &&
               archive_.ExtractItem(it->second.index, name) == zip::kOk;
    }

  private:
    zip::ZipArchive archive_;
    std::map<std::string, Entry> entries_;
};

// The manifest item that holds the cover picture: the one marked cover-image (EPUB 3), else the one the
// metadata's cover names (EPUB 2), else an image whose id or name says cover. Its href, or empty.
std::string CoverHref(const epub::XmlFile& opf, std::string& type) {
    namespace xml = epub::xml;
    const pugi::xml_node package = xml::Child(opf.Document(), xml::kOpf, "package");
    const pugi::xml_node manifest = xml::Child(package, xml::kOpf, "manifest");
    const std::vector<pugi::xml_node> items = xml::Children(manifest, xml::kOpf, "item");
    auto image = [](pugi::xml_node item) {
        return xml::Attribute(item, "media-type").rfind("image/", 0) == 0;
    };
    auto found = [&type](pugi::xml_node item) {
        type = xml::Attribute(item, "media-type");
        return xml::Attribute(item, "href");
    };
    for (pugi::xml_node item : items) {
        if (xml::HasToken(xml::Attribute(item, "properties"), "cover-image") && image(item))
            return found(item);
    }
    std::string named;
    for (pugi::xml_node meta : xml::Children(xml::Child(package, xml::kOpf, "metadata"), xml::kOpf, "meta")) {
        if (xml::Attribute(meta, "name") == "cover")
            named = xml::Attribute(meta, "content");
    }
    for (pugi::xml_node item : items) {
        if (!named.empty() && xml::Attribute(item, "id") == named && image(item))
            return found(item);
    }
    for (pugi::xml_node item : items) {
        const std::string said =
            util::ToLowerAscii(xml::Attribute(item, "id") + " " + xml::Attribute(item, "href"));
        if (image(item) && said.find("cover") != std::string::npos)
            return found(item);
    }
    return {};
}

}  // namespace

BookPreview ReadBookPreview(const std::string& epubPath) {
    BookPreview preview;
    const ScratchFolder scratch;
    if (scratch.Path().empty()) {
        preview.problem = "no temporary folder";
        return preview;
    }
    Archive archive;
    if (!archive.Open(epubPath, scratch.Path())) {
        preview.problem = "not a ZIP archive";
        return preview;
    }
    if (!archive.Take("META-INF/container.xml", kMostContainerBytes)) {
        preview.problem = "META-INF/container.xml is missing";
        return preview;
    }
    // The package documents are found by their names first: the container names one of them.
    int taken = 0;
    for (const auto& [name, entry] : archive.Entries()) {
        if (taken < kMostPackageDocuments && util::ToLowerAscii(util::GetExtension(name)) == ".opf" &&
            archive.Take(name, kMostPackageBytes))
            ++taken;
    }
    const std::string opfPath = epub::EpubFolder(scratch.Path()).GetPackagePath(&preview.problem);
    const std::shared_ptr<epub::EpubBook> book =
        opfPath.empty() ? nullptr : epub::EpubBook::Load(opfPath, scratch.Path());
    if (!book) {
        if (preview.problem.empty())
            preview.problem = "the package document cannot be read";
        return preview;
    }
    preview.problem.clear();
    preview.title = book->GetTitle();
    for (const std::string& creator : book->GetCreators())
        preview.author += (preview.author.empty() ? "" : ", ") + creator;

    std::string type;
    const std::string href = CoverHref(epub::XmlFile(opfPath), type);
    if (href.empty())
        return preview;
    const std::string cover = util::JoinPath(util::GetFolderOf(opfPath), util::PercentDecode(href));
    const std::string root = util::ToFullPath(scratch.Path()) + "/";
    if (!util::IsInsideFolder(cover, root) || cover.size() <= root.size())
        return preview;
    const std::string name = cover.substr(root.size());
    if (archive.Take(name, kMostCoverBytes) && util::ReadFileBytes(cover, preview.cover))
        preview.coverType = type;
    return preview;
}

}  // namespace frontend
