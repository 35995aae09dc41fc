// Blocking HTTP GET over libcurl: one call saves the body to a file, the other returns
// it as text. Both run on the calling thread and return when the transfer has ended.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tessvale {

// Values left in the calling thread's last-error slot (`LastHttpError`) for the two
// answers that callers tell apart; the numbers are the ones the update service's
// clients have always compared against.
inline constexpr int kHttpErrorAccessDenied = 65;     // status 401
inline constexpr int kHttpErrorAccountExpired = 1793; // status 402

// Reports the progress of a download on the calling thread: the percentage of the
// stated length received so far, or -1 while the server did not state a length.
// It is called once with 0 before the first byte, after each received chunk, and
// about once a second while waiting, so a window can process its events in it.
using HttpProgress = std::function<void(int percent)>;

// Settings of one transfer. The defaults are what the program uses.
struct HttpOptions
{
    // CA bundle to verify https servers against instead of the system's store.
    std::string caFile;
    // Seconds to wait for the connection to be established.
    long connectTimeoutSeconds = 20;
    // A transfer slower than lowSpeedBytes per second for lowSpeedSeconds is abandoned.
    long lowSpeedBytes = 1;
    long lowSpeedSeconds = 30;
    // The most body bytes accepted; a longer answer (stated or sent) fails the transfer.
    std::uint64_t maxBytes = 4ULL * 1024 * 1024;
    // The whole transfer, redirects included, ends after this many seconds.
    long totalTimeoutSeconds = 120;
    // When set, the transfer also ends at this moment (a limit shared by several transfers).
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // When set and true, the transfer is abandoned (checked about every second and
    // after every chunk).
    const std::atomic<bool>* cancel = nullptr;
    // Redirects followed: only to https, and only to the host and port first asked.
    int maxRedirects = 5;
};

// Downloads `url` (http or https) into the file at `path`, which is created or
// truncated once the server answered 200, and written chunk by chunk as the body
// arrives. Returns the number of body bytes written; 0 means failure or an empty body.
// A file left behind by a failed transfer is not deleted.
std::uint64_t HttpDownloadToFile(const HttpProgress& progress, const std::string& url, const std::string& path,
                                 const HttpOptions& options = {});

// Downloads `url` into the open file `fd` (written from its current position). Returns
// the number of body bytes written; 0 means failure or an empty body.
std::uint64_t HttpDownloadToDescriptor(const HttpProgress& progress, const std::string& url, int fd,
                                       const HttpOptions& options = {});

// The body of `url` as UTF-8 text; empty on failure or for an empty body.
std::string HttpGetText(const std::string& url, const HttpOptions& options = {});

// The calling thread's last-error value: set to kHttpErrorAccessDenied or
// kHttpErrorAccountExpired by a transfer that ended with 401 or 402, otherwise left
// as it was.
int LastHttpError();
void SetLastHttpError(int value);

} // namespace tessvale
