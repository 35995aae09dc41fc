#include <atomic>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/text_util.h"
#include "fakes/temp_folder.h"
#include "scan/vendor_table.h"

namespace tessvale {
namespace {

constexpr const char* kIeeeListing = "/usr/share/ieee-data/oui.txt";

TEST(VendorTable, FindsVendorsInTheIeeeListing)
{
    VendorTable table;
    ASSERT_TRUE(table.Load(kIeeeListing)) << "the ieee-data package provides " << kIeeeListing;
    EXPECT_EQ(table.LookupVendor("00:1B:21:0A:0B:0C"), "Intel Corporate");
    EXPECT_EQ(table.LookupVendor("FE:FF:FF:00:00:01"), "");
    // The scan engine writes upper case; a lower-case text finds nothing.
    EXPECT_EQ(table.LookupVendor("00:1b:21:0a:0b:0c"), "");
}

TEST(VendorTable, AMissingFileGivesEmptyVendors)
{
    VendorTable table;
    EXPECT_FALSE(table.Load("/nonexistent/oui.txt"));
    EXPECT_EQ(table.LookupVendor("00:1B:21:0A:0B:0C"), "");
}

// Listings given as text, each looked up for the MAC in the case (by default
// 00:1B:21:0A:0B:0C).
TEST(VendorTable, ListingTextsGiveTheVendorOfTheirLines)
{
    struct Case
    {
        const char* what;
        const char* listing;
        const char* vendor;
        const char* mac = "00:1B:21:0A:0B:0C";
    };
    const Case cases[] = {
        {"the vendor ends before the carriage return",
         "header\r\n00-1B-21   (hex)\t\tIntel Corporate\r\n001B21     (base 16)\t\tIntel Corporate\r\n",
         "Intel Corporate"},
        {"Unix line ends", "00-1B-21   (hex)\t\tUnix Lines\n", "Unix Lines"},
        // The key's first occurrence stands inside a line: the text 18 characters on.
        {"the first occurrence anywhere counts", "see 00-1B-21 for details\n00-1B-21   (hex)\t\tIntel Corporate\n",
         "ls"},
        {"a short line gives nothing", "00-1B-21 x\n", ""},
        {"an unended line gives nothing", "00-1B-21   (hex)\t\tNo line end", ""},
        {"an empty MAC finds nothing", "00-1B-21   (hex)\t\tNo line end", "", ""},
    };
    for (const Case& c : cases) {
        VendorTable table;
        table.SetText(c.listing);
        EXPECT_EQ(table.LookupVendor(c.mac), c.vendor) << c.what;
    }
}

TEST(VendorTable, ListingInTheLocaleEncodingIsConverted)
{
    const test::TempFolder folder;
    const std::string path = folder.File("oui.txt");
    ASSERT_TRUE(test::WriteFile(path, "00-1B-21   (hex)\t\tCaf\xE9 Networks\r\n")); // not UTF-8
    VendorTable table;
    ASSERT_TRUE(table.Load(path));
    const std::string vendor = table.LookupVendor("00:1B:21:0A:0B:0C");
    EXPECT_TRUE(vendor.starts_with("Caf"));
    EXPECT_EQ(vendor.find('\xE9'), std::string::npos); // never an invalid UTF-8 byte
}

TEST(VendorTable, DataFolderListingComesFirst)
{
    const test::TempFolder folder;
    EXPECT_EQ(DefaultVendorListingPath(folder.Path()), kIeeeListing);
    ASSERT_TRUE(test::WriteFile(folder.File("oui.txt"), "00-1B-21   (hex)\t\tOwn Copy\n"));
    EXPECT_EQ(DefaultVendorListingPath(folder.Path()), folder.File("oui.txt"));
}

// What the table holds for listings that are not what they should be: never an
// invalid UTF-8 byte, never more than the cap, never a blocked start.
TEST(VendorTable, ListingsOutOfTheOrdinaryAreReadBounded)
{
    const test::TempFolder folder;
    struct Case
    {
        const char* name;
        std::string content;
        std::string vendor; // of 00:1B:21
    };
    const std::string line = "00-1B-21   (hex)\t\t";
    const Case cases[] = {
        // Converted from the locale's encoding, or replaced: either way no raw byte.
        {"stray bytes", line + "Intel \xFF\xFE Corporate\n", ""},
        {"cut sequence", line + "Caf\xC3\n", ""},
        {"overlong slash",
         line + "A\xC0\xAF"
                "B\n",
         ""},
        {"valid", line + "Caf\xC3\xA9\n", "Caf\xC3\xA9"},
    };
    for (const Case& c : cases) {
        const std::string path = folder.File("oui.txt");
        ASSERT_TRUE(test::WriteFile(path, c.content));
        VendorTable table;
        ASSERT_TRUE(table.Load(path)) << c.name;
        const std::string vendor = table.LookupVendor("00:1B:21:0A:0B:0C");
        EXPECT_TRUE(IsValidUtf8(vendor)) << c.name;
        if (!c.vendor.empty()) {
            EXPECT_EQ(vendor, c.vendor) << c.name;
        }
    }

    // Larger than the cap: read up to the last whole line within it.
    const std::string big = folder.File("big.txt");
    {
        std::string text;
        const std::string filler = "AA-AA-AA   (hex)\t\t" + std::string(100, 'x') + "\n";
        while (text.size() + filler.size() <= VendorTable::kMaxListingBytes - 200) {
            text += filler;
        }
        text += std::string(VendorTable::kMaxListingBytes - 10 - text.size() - 1, '#') + "\n";
        text += line + "Cut Off Vendor Name\n"; // crosses the cap
        text += line + "Beyond\n";
        ASSERT_TRUE(test::WriteFile(big, text));
    }
    VendorTable capped;
    ASSERT_TRUE(capped.Load(big));
    EXPECT_EQ(capped.LookupVendor("00:1B:21:00:00:01"), "");
    EXPECT_EQ(capped.LookupVendor("AA:AA:AA:00:00:01"), std::string(100, 'x'));

    // A FIFO or a folder in its place: no table, and no wait.
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    VendorTable none;
    EXPECT_FALSE(none.Load(fifo));
    EXPECT_FALSE(none.Load(folder.Path()));

    // Asked to stop: nothing is read.
    const std::atomic<bool> stop{true};
    VendorTable stopped;
    EXPECT_FALSE(stopped.Load(big, &stop));
    EXPECT_EQ(stopped.LookupVendor("AA:AA:AA:00:00:01"), "");
}

} // namespace
} // namespace tessvale
