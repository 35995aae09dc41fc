#include "scan/vendor_table.h"

#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include "common/text_util.h"

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

bool VendorTable::Load(const std::string& path)
{
    m_text.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        return false;
    }
    // The IEEE listing is UTF-8; an older copy in the locale's encoding is converted.
    m_text = IsValidUtf8(bytes) ? std::move(bytes) : AnsiToUtf8(bytes);
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
