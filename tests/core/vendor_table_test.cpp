#include <cstdlib>

#include <gtest/gtest.h>

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

} // namespace
} // namespace tessvale
