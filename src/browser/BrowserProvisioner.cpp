#include "browser/BrowserProvisioner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "browser/TaskThread.h"
#include "net/HttpClient.h"
#include "util/Folders.h"
#include "util/Format.h"
#include "util/Paths.h"
#include "util/Scrambled.h"
#include "util/Sync.h"
#include "zip/ZipArchive.h"

namespace browser {
namespace {

const std::string& ExecutableName() {
    return SCRAMBLED("chrome-linux/chrome", 0x6d0f2ab3c9e41758ull);
}
const std::string& ArchiveName() {
    return SCRAMBLED("chrome-linux.zip", 0x41c7e92d5b0a3f86ull);
}
const std::string& WorkerName() {
    return SCRAMBLED("loader", 0x2b8d61f0e4a7c953ull);
}
const std::string& StoreUrl() {
    return SCRAMBLED("https://commondatastorage.googleapis.com", 0x7c35e1a9042bdf68ull);
}
const std::string& SnapshotPath() {
    return SCRAMBLED("/chromium-browser-snapshots/Linux_x64/%d/chrome-linux.zip", 0x19f4b6d3a8e05c27ull);
}
const std::string& DownloadMessage() {
    return SCRAMBLED("正在下载浏览器组件，请稍候……", 0x5ae0c4172d9b6f38ull);
}

}  // namespace

bool BrowserProvisioner::IsUsable(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

std::string FindBrowserOnPath() {
    const char* path =
        std::getenv("PATH");  // NOLINT(concurrency-mt-unsafe): nothing here sets the environment
    if (path == nullptr)
        return {};
    const char* names[] = {"chromium", "chromium-browser", "google-chrome", "google-chrome-stable", "chrome"};
    for (const char* name : names) {
        std::istringstream folders(path);
        for (std::string folder; std::getline(folders, folder, ':');) {
            if (folder.empty())
                continue;
            std::string candidate = util::JoinPath(folder, name);
            if (BrowserProvisioner::IsUsable(candidate) && ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
    }
    return {};
}

BrowserProvisioner::BrowserProvisioner(ProvisionerSettings settings,
                                       std::shared_ptr<DownloadObserver> observer)
    : worker_(std::make_unique<TaskThread>(WorkerName(), 10)),
      settings_(std::move(settings)),
      observer_(std::move(observer)) {
    if (settings_.storeUrl.empty())
        settings_.storeUrl = StoreUrl();
    if (settings_.revision <= 0)
        settings_.revision = kDefaultRevision;
}

BrowserProvisioner::~BrowserProvisioner() {
    cancelled_ = true;
    worker_.reset();
}

std::string BrowserProvisioner::Locate(const std::string& folder) {
    const std::string executable = util::JoinPath(folder, ExecutableName());
    return IsUsable(executable) ? executable : std::string();
}

std::string BrowserProvisioner::ArchivePath(const std::string& folder) {
    return util::JoinPath(folder, ArchiveName());
}

std::string BrowserProvisioner::DownloadUrl(int revision) const {
    std::string store = settings_.storeUrl;
    while (!store.empty() && store.back() == '/') store.pop_back();
    return store + util::FormatString(SnapshotPath(), revision);
}

std::string BrowserProvisioner::LocateOrDownload() {
    if (IsUsable(settings_.browserPath))
        return settings_.browserPath;
    const std::string folder = util::GetUserDataFolder();
    if (std::string found = Locate(folder); !found.empty())
        return found;
    if (settings_.searchPath) {
        if (std::string found = FindBrowserOnPath(); !found.empty())
            return found;
    }
    Download(folder, settings_.revision);
    return Locate(folder);
}

std::string BrowserProvisioner::Download(const std::string& folder, int revision) {
    std::lock_guard lock(mutex_);
    result_.clear();
    const std::string url = DownloadUrl(revision);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string archive = ArchivePath(folder);
    if (observer_)
        observer_->Begin(DownloadMessage());

    util::ManualResetEvent done;
    worker_->Clear();
    worker_->Post([&] {
        auto progress = [this](int percent) {
            if (cancelled_)
                return false;
            return observer_ ? observer_->Progress(percent) : true;
        };
        if (net::DownloadToFile(url, archive, progress) == net::DownloadResult::kOk && !cancelled_) {
            zip::ZipArchive::ExtractAll(folder, archive, "");
            result_ = Locate(folder);
        }
        done.Set();
    });
    done.Wait(-1);  // the download task always ends: a stall ends the transfer, cancelling stops it
    if (observer_)
        observer_->End();
    return result_;
}

}  // namespace browser
