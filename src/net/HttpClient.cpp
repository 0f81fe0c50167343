#include "net/HttpClient.h"

#include <curl/curl.h>

#include <cstdio>
#include <mutex>

#include "util/AtomicFile.h"

namespace net {
namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* Handle(void* p) {
    return static_cast<CURL*>(p);
}

void CommonOptions(CURL* curl, const std::string& url) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    // A stalled transfer (under 1 byte/s for a minute) ends instead of hanging forever.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
}

bool IsHttpUrl(const std::string& url) {
    return url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0;
}

}  // namespace

HttpClient::HttpClient() {
    headers_["Accept"] = "*/*";
    headers_["User-Agent"] = kUserAgent;
}

HttpClient::~HttpClient() {
    if (curl_ != nullptr)
        curl_easy_cleanup(Handle(curl_));
}

void HttpClient::SetHeader(const std::string& name, const std::string& value) {
    headers_[name] = value;
}

void HttpClient::SetProgress(Observer observer) {
    progress_ = std::move(observer);
}

std::string HttpClient::HeaderBlock() const {
    std::string block;
    for (const auto& [name, value] : headers_) {
        if (!block.empty())
            block += '\n';
        block.append(name).append(": ").append(value);
    }
    return block;
}

bool HttpClient::Open(const std::string& verb, const std::string& url, int flag) {
    if (!url_.empty())
        return false;
    url_ = url;
    verb_ = verb;
    flag_ = flag;
    if (verb == "POST")
        headers_["Content-Type"] = "application/x-www-form-urlencoded";
    if (!IsHttpUrl(url))
        return false;
    GlobalInit();
    curl_ = curl_easy_init();
    if (curl_ == nullptr)
        return false;
    CommonOptions(Handle(curl_), url_);
    return true;
}

void HttpClient::ReadResponseInfo() {
    long code = 0;
    curl_easy_getinfo(Handle(curl_), CURLINFO_RESPONSE_CODE, &code);
    statusCode_ = static_cast<std::uint32_t>(code);
    curl_off_t length = -1;
    curl_easy_getinfo(Handle(curl_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    contentLength_ = length > 0 ? static_cast<std::uint64_t>(length) : 0;
}

std::size_t HttpClient::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* client = static_cast<HttpClient*>(self);
    std::string line(data, size * count);
    if (line.compare(0, 5, "HTTP/") == 0) {
        // A new status line (also after a redirect): "HTTP/1.1 200 OK"; HTTP/2 has no text.
        size_t code = line.find(' ');
        size_t text = code == std::string::npos ? std::string::npos : line.find(' ', code + 1);
        client->statusText_ = text == std::string::npos ? std::string() : line.substr(text + 1);
        while (!client->statusText_.empty() &&
               (client->statusText_.back() == '\r' || client->statusText_.back() == '\n')) {
            client->statusText_.pop_back();
        }
    }
    return size * count;
}

std::size_t HttpClient::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
    auto* client = static_cast<HttpClient*>(self);
    const std::size_t n = size * count;
    client->ReadResponseInfo();
    client->body_.insert(client->body_.end(), data, data + n);
    if (client->progress_) {
        while (client->body_.size() - client->reported_ >= kChunkSize) {
            client->reported_ += kChunkSize;
            if (!client->progress_(client->reported_, client->contentLength_, client->statusCode_,
                                   client->statusText_)) {
                client->body_.resize(client->reported_);
                client->stopped_ = true;
                return 0;  // ends the transfer
            }
        }
    }
    return n;
}

bool HttpClient::Send(const std::string& requestBody) {
    if (curl_ == nullptr)
        return false;
    CURL* curl = Handle(curl_);
    curl_slist* list = nullptr;
    for (const auto& [name, value] : headers_)
        list = curl_slist_append(list, (std::string(name).append(": ").append(value)).c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, verb_.c_str());
    if (verb_ == "POST" || !requestBody.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, requestBody.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(requestBody.size()));
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpClient::OnWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HttpClient::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    phase_ = 1;
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(list);
    ReadResponseInfo();
    if (rc != CURLE_OK && !stopped_ && statusCode_ == 0)
        return false;  // nothing came back
    // A read that fails midway ends the body early; what arrived is kept.
    if (!stopped_ && progress_ && body_.size() > reported_) {
        reported_ = body_.size();
        progress_(reported_, contentLength_, statusCode_, statusText_);
    }
    phase_ = 4;
    return true;
}

namespace {

struct Download {
    util::AtomicFile* file = nullptr;
    bool writeFailed = false;
    bool cancelled = false;
    const std::function<bool(int)>* progress = nullptr;
    int lastPercent = -1;
};

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* p) {
    auto* d = static_cast<Download*>(p);
    const std::size_t n = size * count;
    if (!d->file->Write(std::string_view(data, n))) {
        d->writeFailed = true;
        return 0;
    }
    return n;
}

int OnTransferProgress(void* p, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* d = static_cast<Download*>(p);
    if (*d->progress == nullptr)
        return 0;
    const int percent = total > 0 ? static_cast<int>(now * 100 / total) : 0;
    if (percent == d->lastPercent)
        return 0;
    d->lastPercent = percent;
    if (!(*d->progress)(percent)) {
        d->cancelled = true;
        return 1;
    }
    return 0;
}

}  // namespace

DownloadResult DownloadToFile(const std::string& url, const std::string& targetPath,
                              const std::function<bool(int)>& progress) {
    if (!IsHttpUrl(url))
        return DownloadResult::kTransferFailed;
    GlobalInit();
    // Streamed to a temporary file beside the target, which takes its name only once it is complete.
    util::AtomicFile file(targetPath);
    if (!file.IsOpen())
        return DownloadResult::kFileError;
    Download d;
    d.progress = &progress;
    d.file = &file;
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return DownloadResult::kTransferFailed;
    CommonOptions(curl, url);
    curl_slist* list = nullptr;
    list = curl_slist_append(list, "Accept: */*");
    list = curl_slist_append(list, (std::string("User-Agent: ") + HttpClient::kUserAgent).c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &d);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnTransferProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &d);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);  // a 4xx or 5xx status ends the transfer
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(list);

    DownloadResult result = DownloadResult::kOk;
    if (d.cancelled) {
        result = DownloadResult::kCancelled;
    } else if (d.writeFailed) {
        result = DownloadResult::kFileError;
    } else if (rc == CURLE_HTTP_RETURNED_ERROR || (rc == CURLE_OK && (status < 200 || status > 299))) {
        result = DownloadResult::kHttpStatus;
    } else if (rc != CURLE_OK) {
        result = DownloadResult::kTransferFailed;
    }
    if (result != DownloadResult::kOk)
        return result;  // the temporary file goes with its object
    if (!file.Commit())
        return DownloadResult::kFileError;
    if (progress)
        progress(100);
    return DownloadResult::kOk;
}

}  // namespace net
