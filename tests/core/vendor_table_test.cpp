#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

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

TEST(VendorTable, VendorEndsBeforeTheCarriageReturn)
{
    VendorTable table;
    table.SetText("header\r\n00-1B-21   (hex)\t\tIntel Corporate\r\n001B21     (base 16)\t\tIntel Corporate\r\n");
    EXPECT_EQ(table.LookupVendor("00:1B:21:0A:0B:0C"), "Intel Corporate");
    table.SetText("00-1B-21   (hex)\t\tUnix Lines\n");
    EXPECT_EQ(table.LookupVendor("00:1B:21:0A:0B:0C"), "Unix Lines");
}

TEST(VendorTable, FirstOccurrenceAnywhereCounts)
{
    VendorTable table;
    table.SetText("see 00-1B-21 for details\n00-1B-21   (hex)\t\tIntel Corporate\n");
    // The key's first occurrence stands inside a line: the text 18 characters on.
    EXPECT_EQ(table.LookupVendor("00:1B:21:0A:0B:0C"), "ls");
}

TEST(VendorTable, ShortOrUnendedLinesGiveNothing)
{
    VendorTable table;
    table.SetText("00-1B-21 x\n");
    EXPECT_EQ(table.LookupVendor("00:1B:21:0A:0B:0C"), "");
    table.SetText("00-1B-21   (hex)\t\tNo line end");
    EXPECT_EQ(table.LookupVendor("00:1B:21:0A:0B:0C"), "");
    EXPECT_EQ(table.LookupVendor(""), "");
}

TEST(VendorTable, ListingInTheLocaleEncodingIsConverted)
{
    const auto path = std::filesystem::temp_directory_path() / ("vendor_latin1_" + std::to_string(getpid()) + ".txt");
    {
        std::ofstream file(path, std::ios::binary);
        file << "00-1B-21   (hex)\t\tCaf\xE9 Networks\r\n"; // not UTF-8
    }
    VendorTable table;
    ASSERT_TRUE(table.Load(path.string()));
    const std::string vendor = table.LookupVendor("00:1B:21:0A:0B:0C");
    EXPECT_EQ(vendor.rfind("Caf", 0), 0u);
    EXPECT_EQ(vendor.find('\xE9'), std::string::npos); // never an invalid UTF-8 byte
    std::filesystem::remove(path);
}

TEST(VendorTable, DataFolderListingComesFirst)
{
    const auto folder = std::filesystem::temp_directory_path() / ("vendor_folder_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    EXPECT_EQ(DefaultVendorListingPath(folder.string()), kIeeeListing);
    std::ofstream(folder / "oui.txt") << "00-1B-21   (hex)\t\tOwn Copy\n";
    EXPECT_EQ(DefaultVendorListingPath(folder.string()), (folder / "oui.txt").string());
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace tessvale
