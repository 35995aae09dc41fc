#include "common/http_client.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string_view>

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include "common/text_util.h"
#include "common/unique_fd.h"

namespace tessvale {
namespace {

thread_local int t_lastError = 0;

constexpr long kStatusOk = 200;
constexpr long kStatusUnauthorized = 401;
constexpr long kStatusPaymentRequired = 402;
constexpr long kChunkBytes = 65536;

struct CurlDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlDeleter>;

// Where the body of a 200 answer goes.
class BodySink
{
public:
    virtual ~BodySink() = default;
    // Called once before the first byte (also for an empty body); false aborts.
    virtual bool Begin() = 0;
    // One received chunk; false aborts.
    virtual bool Write(std::string_view chunk) = 0;
};

struct Transfer
{
    CURL* curl = nullptr;
    BodySink* sink = nullptr;
    const HttpProgress* progress = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    std::uint64_t maxBytes = 0;
    bool begun = false;
    bool sinkFailed = false;
    bool tooLarge = false;
    std::uint64_t total = 0;
    std::uint64_t dropped = 0;
    curl_off_t expected = -1;

    int Percent() const
    {
        if (expected <= 0) {
            return -1;
        }
        const std::uint64_t percent = total * 100 / static_cast<std::uint64_t>(expected);
        return static_cast<int>(std::min<std::uint64_t>(percent, 100));
    }

    bool BeginBody()
    {
        begun = true;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        // A stated length beyond the limit is refused before anything is written.
        if (expected > 0 && static_cast<std::uint64_t>(expected) > maxBytes) {
            tooLarge = true;
            return false;
        }
        if (progress != nullptr && *progress) {
            (*progress)(0);
        }
        if (!sink->Begin()) {
            sinkFailed = true;
            return false;
        }
        return true;
    }

    bool Cancelled() const { return cancel != nullptr && cancel->load(); }
};

long CurrentStatus(CURL* curl)
{
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

// libcurl's write callback: runs on the calling thread inside curl_easy_perform.
size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->Cancelled()) {
        return 0;
    }
    // Bodies of answers that are not kept (an authentication challenge before the
    // retry, a redirect, an error page) are read and dropped, up to the same limit.
    if (CurrentStatus(transfer->curl) != kStatusOk) {
        transfer->dropped += bytes;
        return transfer->dropped > transfer->maxBytes ? 0 : bytes;
    }
    if (!transfer->begun && !transfer->BeginBody()) {
        return 0;
    }
    if (bytes > transfer->maxBytes - transfer->total) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->total += bytes;
    if (transfer->progress != nullptr && *transfer->progress) {
        (*transfer->progress)(transfer->Percent());
    }
    if (!transfer->sink->Write(std::string_view(data, bytes))) {
        transfer->sinkFailed = true;
        return 0;
    }
    return bytes;
}

// libcurl's progress callback: lets the caller keep its window alive while waiting,
// and ends the transfer once it is cancelled.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->Cancelled()) {
        return 1;
    }
    if (transfer->progress != nullptr && *transfer->progress) {
        (*transfer->progress)(transfer->begun ? transfer->Percent() : -1);
    }
    return 0;
}

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Scheme, host and port of an address as libcurl reads it; false when it is none.
bool AddressParts(const std::string& url, std::string& scheme, std::string& host, std::string& port)
{
    CurlUrl parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return false;
    }
    const auto part = [&parsed](CURLUPart which, unsigned flags, std::string& into) {
        char* text = nullptr;
        if (curl_url_get(parsed.get(), which, &text, flags) != CURLUE_OK || text == nullptr) {
            return false;
        }
        into = ToLowerAscii(text);
        curl_free(text);
        return true;
    };
    return part(CURLUPART_SCHEME, 0, scheme) && part(CURLUPART_HOST, 0, host) &&
           part(CURLUPART_PORT, CURLU_DEFAULT_PORT, port);
}

// A redirect is followed only to https and only to the host and port first asked, so
// neither a plain-text hop nor another server can slip into the transfer.
bool IsAllowedRedirect(const std::string& from, const std::string& to)
{
    std::string fromScheme;
    std::string fromHost;
    std::string fromPort;
    std::string toScheme;
    std::string toHost;
    std::string toPort;
    return AddressParts(from, fromScheme, fromHost, fromPort) && AddressParts(to, toScheme, toHost, toPort) &&
           toScheme == "https" && toHost == fromHost && toPort == fromPort;
}

bool IsRedirectStatus(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The transfer options shared by every hop.
void SetCommonOptions(CURL* handle, const HttpOptions& options, long timeoutMs)
{
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // Basic authentication with an empty user and password, offered only when the
    // server asks for it.
    curl_easy_setopt(handle, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_ONLY));
    curl_easy_setopt(handle, CURLOPT_USERNAME, "");
    curl_easy_setopt(handle, CURLOPT_PASSWORD, "");
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, options.caFile.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, options.lowSpeedSeconds);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kChunkBytes);
}

enum class Hop
{
    Done,
    Failed,
    Redirect,
};

// One request of a transfer. A redirect answer leaves its target in `next`.
Hop RunOneGet(const std::string& url, const HttpOptions& options, long timeoutMs, BodySink& sink,
              const HttpProgress* progress, std::string& next)
{
    CurlUrl parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return Hop::Failed;
    }
    // User and password parts of the address are never sent.
    curl_url_set(parsed.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(parsed.get(), CURLUPART_PASSWORD, nullptr, 0);
    CurlHandle curl(curl_easy_init());
    if (!curl) {
        return Hop::Failed;
    }
    CURL* handle = curl.get();
    Transfer transfer;
    transfer.curl = handle;
    transfer.sink = &sink;
    transfer.progress = progress;
    transfer.cancel = options.cancel;
    transfer.maxBytes = options.maxBytes;

    CurlList headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
    if (headers) {
        curl_slist_append(headers.get(), "Pragma: no-cache");
    }
    curl_easy_setopt(handle, CURLOPT_CURLU, parsed.get());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    SetCommonOptions(handle, options, timeoutMs);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode result = curl_easy_perform(handle);
    const long status = CurrentStatus(handle);
    if (status == kStatusUnauthorized) {
        t_lastError = kHttpErrorAccessDenied;
    } else if (status == kStatusPaymentRequired) {
        t_lastError = kHttpErrorAccountExpired;
    }
    if (result == CURLE_OK && IsRedirectStatus(status)) {
        char* location = nullptr;
        curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
        next = location != nullptr ? location : "";
        return next.empty() ? Hop::Failed : Hop::Redirect;
    }
    if (result != CURLE_OK || status != kStatusOk || transfer.sinkFailed || transfer.tooLarge) {
        return Hop::Failed;
    }
    // An empty body never reached the write callback.
    return transfer.begun || transfer.BeginBody() ? Hop::Done : Hop::Failed;
}

// Runs one GET, following allowed redirects, and feeds a 200 body to the sink. True
// when the whole body arrived in time.
bool RunGet(const std::string& url, const HttpOptions& options, BodySink& sink, const HttpProgress* progress)
{
    InitialiseCurlOnce();
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(std::max(options.totalTimeoutSeconds, 1L));
    if (options.deadline && *options.deadline < deadline) {
        deadline = *options.deadline;
    }
    std::string current = url;
    for (int hop = 0; hop <= std::max(options.maxRedirects, 0); ++hop) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || (options.cancel != nullptr && options.cancel->load())) {
            return false;
        }
        std::string next;
        switch (RunOneGet(current, options, static_cast<long>(left), sink, progress, next)) {
        case Hop::Done:
            return true;
        case Hop::Failed:
            return false;
        case Hop::Redirect:
            if (!IsAllowedRedirect(url, next)) {
                return false;
            }
            current = next;
            break;
        }
    }
    return false;
}

// Writes every byte of `chunk` to `fd`; false on a write error.
bool WriteAll(int fd, std::string_view chunk, std::uint64_t& written)
{
    while (!chunk.empty()) {
        const ssize_t count = ::write(fd, chunk.data(), chunk.size());
        if (count <= 0) {
            return false;
        }
        chunk.remove_prefix(static_cast<size_t>(count));
        written += static_cast<std::uint64_t>(count);
    }
    return true;
}

class DescriptorSink : public BodySink
{
public:
    explicit DescriptorSink(int fd) : m_fd(fd) {}
    bool Begin() override { return m_fd >= 0; }
    bool Write(std::string_view chunk) override { return WriteAll(m_fd, chunk, m_written); }
    std::uint64_t Written() const { return m_written; }

private:
    int m_fd;
    std::uint64_t m_written = 0;
};

class FileSink : public BodySink
{
public:
    explicit FileSink(std::string path) : m_path(std::move(path)) {}

    bool Begin() override
    {
        m_file = UniqueFd(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        return m_file.Valid();
    }

    bool Write(std::string_view chunk) override { return WriteAll(m_file.Get(), chunk, m_written); }
    // True when nothing was opened or the file closed cleanly.
    bool Close() { return !m_file.Valid() || m_file.Close(); }
    std::uint64_t Written() const { return m_written; }

private:
    std::string m_path;
    UniqueFd m_file;
    std::uint64_t m_written = 0;
};

class TextSink : public BodySink
{
public:
    bool Begin() override { return true; }
    bool Write(std::string_view chunk) override
    {
        m_text.append(chunk);
        return true;
    }
    std::string Take() { return std::move(m_text); }

private:
    std::string m_text;
};

} // namespace

std::uint64_t HttpDownloadToFile(const HttpProgress& progress, const std::string& url, const std::string& path,
                                 const HttpOptions& options)
{
    FileSink sink(path);
    const bool complete = RunGet(url, options, sink, &progress);
    // A file that cannot be closed cleanly may not hold what was written.
    const bool closed = sink.Close();
    return complete && closed ? sink.Written() : 0;
}

std::uint64_t HttpDownloadToDescriptor(const HttpProgress& progress, const std::string& url, int fd,
                                       const HttpOptions& options)
{
    DescriptorSink sink(fd);
    return RunGet(url, options, sink, &progress) ? sink.Written() : 0;
}

std::string HttpGetText(const std::string& url, const HttpOptions& options)
{
    TextSink sink;
    if (!RunGet(url, options, sink, nullptr)) {
        return {};
    }
    return sink.Take();
}

int LastHttpError()
{
    return t_lastError;
}

void SetLastHttpError(int value)
{
    t_lastError = value;
}

} // namespace tessvale
