// The adapter vendor of a MAC, from a copy of the IEEE OUI listing.
#pragma once

#include <string>

#include "scan/host_probe.h"

namespace tessvale {

class VendorTable final : public VendorLookup
{
public:
    // Reads the whole listing once. False (and an empty table) when it cannot be read.
    bool Load(const std::string& path);

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
