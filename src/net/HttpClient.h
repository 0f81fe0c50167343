// One HTTP or HTTPS request on libcurl, collecting the whole response body in memory, with an optional
// observer that sees progress per 10,240-byte chunk and may stop the transfer. One client serves one
// request; all calls block on the caller's thread. Redirects are followed; no proxy, cookies or cache.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace net {

class HttpClient {
  public:
    // (bytes so far, content length or 0, status code, status text) -> false stops the transfer.
    using Observer = std::function<bool(std::uint64_t, std::uint64_t, std::uint32_t, const std::string&)>;

    static constexpr std::size_t kChunkSize = 10240;
    static constexpr const char* kUserAgent =
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
        "Chrome/91.0.4472.77 "
        "Safari/537.36";

    // An empty client with the headers "Accept: */*" and the User-Agent above.
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sets or replaces one request header.
    void SetHeader(const std::string& name, const std::string& value);
    // Installs the progress observer.
    void SetProgress(Observer observer);
    // Prepares the request; false when the client was opened before or the URL is not HTTP(S).
    bool Open(const std::string& verb, const std::string& url, int flag = 0);
    // Sends the request and reads the response; true when it was read to its end or the observer
    // stopped it, false when sending failed or no response status arrived.
    bool Send(const std::string& requestBody = {});
    // The bytes received.
    const std::vector<std::uint8_t>& GetBody() const { return body_; }
    std::string GetBodyText() const { return std::string(body_.begin(), body_.end()); }

    std::uint32_t StatusCode() const { return statusCode_; }
    std::uint64_t ContentLength() const { return contentLength_; }
    const std::string& StatusText() const { return statusText_; }
    // The request headers in name order, "name: value" joined by line feeds.
    std::string HeaderBlock() const;

  private:
    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    void ReadResponseInfo();

    std::string url_;
    std::string verb_;
    int flag_ = 0;
    std::map<std::string, std::string> headers_;
    std::vector<std::uint8_t> body_;
    std::uint32_t statusCode_ = 0;
    std::uint64_t contentLength_ = 0;
    std::string statusText_;
    int phase_ = 0;
    Observer progress_;
    std::uint64_t reported_ = 0;
    bool stopped_ = false;
    void* curl_ = nullptr;
};

// Result of DownloadToFile.
enum class DownloadResult { kOk = 0, kTransferFailed = 1, kHttpStatus = 2, kCancelled = 3, kFileError = 4 };

// Streams url into targetPath, reporting percentages (0..100) to progress, which may stop the
// transfer by returning false. The file appears under targetPath only when the whole body arrived
// with a 2xx status; otherwise nothing is left under that name.
DownloadResult DownloadToFile(const std::string& url, const std::string& targetPath,
                              const std::function<bool(int)>& progress);

}  // namespace net
