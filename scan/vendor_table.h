// The adapter vendor of a MAC, from a copy of the IEEE OUI listing.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "scan/host_probe.h"

namespace tessvale {

class VendorTable final : public VendorLookup
{
public:
    // The most of a listing that is read (the IEEE listing is about 5 MiB); a larger
    // file is read up to its last whole line within the cap.
    static constexpr std::size_t kMaxListingBytes = std::size_t{32} * 1024 * 1024;

    // Reads the listing once, a regular file of at most kMaxListingBytes. Text that is
    // not UTF-8 is taken as the locale's encoding, and what is still no UTF-8 becomes
    // U+FFFD, so no invalid byte reaches an output. False (and an empty table) when it
    // cannot be read, or when `stop` became true while it was read.
    bool Load(const std::string& path, const std::atomic<bool>* stop = nullptr);

    // The text following the first occurrence of the MAC's OUI ("00-1B-21" for
    // 00:1B:21:...) after the 10 characters that separate it from the vendor name, up to
    // the end of that line, without the line's carriage return. Empty when the OUI is
    // not listed. Safe to call from several threads once loaded.
    std::string LookupVendor(const std::string& mac) const override;

    // Replaces the listing (tests).
    void SetText(std::string text) { m_text = std::move(text); }

private:
    std::string m_text;
};

// The listing the program uses: oui.txt in the data folder (DataFolder()), else the
// IEEE listing of Debian's ieee-data package.
std::string DefaultVendorListingPath(const std::string& dataFolder);

} // namespace tessvale
