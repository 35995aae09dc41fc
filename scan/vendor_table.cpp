#include "scan/vendor_table.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/text_util.h"
#include "common/unique_fd.h"

namespace tessvale {

namespace {

constexpr std::size_t kKeyLength = 8;     // "00-1B-21"
constexpr std::size_t kVendorOffset = 18; // key and the 10 separating characters

bool IsFile(const std::string& path)
{
    struct stat info
    {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

bool VendorTable::Load(const std::string& path, const std::atomic<bool>* stop)
{
    m_text.clear();
    // O_NONBLOCK: a FIFO in the listing's place must not block.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info
    {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    std::string bytes;
    // Room for the whole file and the last chunk's read: a reallocation on the way would
    // hold the listing twice and leave twice its size in memory.
    bytes.reserve(std::min<std::size_t>(static_cast<std::size_t>(info.st_size) + kChunk, kMaxListingBytes));
    while (bytes.size() < kMaxListingBytes) {
        if (stop != nullptr && stop->load()) {
            return false;
        }
        const std::size_t at = bytes.size();
        bytes.resize(std::min(at + kChunk, kMaxListingBytes));
        const ssize_t got = ::read(fd.Get(), bytes.data() + at, bytes.size() - at);
        if (got < 0 && errno == EINTR) {
            bytes.resize(at);
            continue;
        }
        if (got < 0) {
            return false;
        }
        bytes.resize(at + static_cast<std::size_t>(got));
        if (got == 0) {
            break;
        }
    }
    if (bytes.size() >= kMaxListingBytes) {
        // Cut at the last whole line: half a vendor name would be a wrong one.
        const std::size_t lineEnd = bytes.rfind('\n');
        bytes.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
    }
    // The IEEE listing is UTF-8; an older copy in the locale's encoding is converted.
    std::string text = IsValidUtf8(bytes) ? std::move(bytes) : AnsiToUtf8(bytes);
    m_text = IsValidUtf8(text) ? std::move(text) : ReplaceInvalidUtf8(text);
    return true;
}

std::string VendorTable::LookupVendor(const std::string& mac) const
{
    std::string key = mac.substr(0, kKeyLength);
    for (char& c : key) {
        if (c == ':') {
            c = '-';
        }
    }
    if (key.empty()) {
        return {};
    }
    const std::size_t start = m_text.find(key);
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t lineEnd = m_text.find('\n', start);
    if (lineEnd == std::string::npos || lineEnd < start + kVendorOffset) {
        return {};
    }
    std::size_t end = lineEnd;
    if (end > start + kVendorOffset && m_text[end - 1] == '\r') {
        --end;
    }
    return m_text.substr(start + kVendorOffset, end - start - kVendorOffset);
}

std::string DefaultVendorListingPath(const std::string& dataFolder)
{
    std::string own = dataFolder + "/oui.txt";
    if (IsFile(own)) {
        return own;
    }
    return "/usr/share/ieee-data/oui.txt";
}

} // namespace tessvale
