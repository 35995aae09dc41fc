#include <gtest/gtest.h>

#include "common/profile_file.h"
#include "fakes/temp_folder.h"

namespace tessvale {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

class ProfileFile : public ::testing::Test
{
protected:
    std::string Write(const std::string& content)
    {
        std::string path = m_folder.File("p.ini");
        EXPECT_TRUE(WriteFile(path, content));
        return path;
    }
    TempFolder m_folder;
};

TEST_F(ProfileFile, KeysAndSectionsIgnoreCaseAndWhiteSpace)
{
    const std::string path = Write("[Other]\nStart=wrong\n[ language ]\r\n  &Start Scan  =  &Scan starten  \r\n"
                                   "Stop=Anhalten\n");
    EXPECT_EQ(ReadProfileString(path, "Language", "&start scan"), "&Scan starten");
    EXPECT_EQ(ReadProfileString(path, "LANGUAGE", "STOP"), "Anhalten");
    EXPECT_EQ(ReadProfileString(path, "Language", "Start", "none"), "none");
    EXPECT_EQ(ReadProfileString(path, "Missing", "Stop", "dflt"), "dflt");
    EXPECT_EQ(ReadProfileString(m_folder.File("absent.ini"), "Language", "Stop", "dflt"), "dflt");
}

TEST_F(ProfileFile, FirstEqualsSignSplitsAndFirstEntryWins)
{
    const std::string path =
        Write("\xEF\xBB\xBF[Language]\na=b=c\nkey=first\nKEY=second\nno equals here\n=empty key\n");
    EXPECT_EQ(ReadProfileString(path, "Language", "a"), "b=c");
    EXPECT_EQ(ReadProfileString(path, "Language", "a=b"), "");
    EXPECT_EQ(ReadProfileString(path, "Language", "key"), "first");
    const auto entries = ReadProfileSection(path, "language");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0], std::make_pair(std::string("a"), std::string("b=c")));
    EXPECT_EQ(entries[2], std::make_pair(std::string("KEY"), std::string("second")));
    EXPECT_EQ(entries[3], std::make_pair(std::string(""), std::string("empty key")));
}

TEST_F(ProfileFile, EscapedLineBreaksStayTwoCharacters)
{
    const std::string path = Write("[Language]\nLine one\\r\\nLine two=Zeile eins\\nZeile zwei\n");
    EXPECT_EQ(ReadProfileString(path, "Language", "Line one\\r\\nLine two"), "Zeile eins\\nZeile zwei");
}

TEST_F(ProfileFile, LongValuesAreCutToTheBufferWithoutSplittingCharacters)
{
    const std::string longValue(1500, 'x');
    const std::string path =
        Write("[Language]\nlong=" + longValue + "\numlaut=" + std::string(1022, 'a') + "\xC3\xA4tail\n");
    EXPECT_EQ(ReadProfileString(path, "Language", "long"), std::string(1023, 'x'));
    // The two-byte letter at bytes 1022-1023 would be split at 1023 bytes: it is dropped whole.
    EXPECT_EQ(ReadProfileString(path, "Language", "umlaut"), std::string(1022, 'a'));
    EXPECT_EQ(ReadProfileString(path, "Language", "long", "", 11), std::string(10, 'x'));
}

TEST_F(ProfileFile, WriteAddsReplacesAndKeepsOtherLines)
{
    const std::string path = m_folder.File("Language.ini");
    EXPECT_TRUE(WriteProfileString(path, "Settings", "Language", "DEU"));
    EXPECT_EQ(ReadFile(path), "[Settings]\nLanguage=DEU\n");
    EXPECT_TRUE(WriteProfileString(path, "settings", "LANGUAGE", "FRA"));
    EXPECT_EQ(ReadProfileString(path, "Settings", "Language"), "FRA");
    EXPECT_EQ(ReadFile(path), "[Settings]\nLANGUAGE=FRA\n");

    const std::string other = Write("; comment\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    EXPECT_TRUE(WriteProfileString(other, "A", "z", "3"));
    EXPECT_TRUE(WriteProfileString(other, "C", "w", "4"));
    EXPECT_EQ(ReadFile(other), "; comment\r\n[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n\r\n[C]\r\nw=4\r\n");
}

TEST_F(ProfileFile, WriteRefusesEntriesThatWouldReadBackDifferently)
{
    const std::string path = m_folder.File("x.ini");
    EXPECT_FALSE(WriteProfileString(path, "S", "a=b", "v"));
    EXPECT_FALSE(WriteProfileString(path, "S", "k", "two\nlines"));
    EXPECT_FALSE(WriteProfileString(path, "S", "  ", "v"));
    EXPECT_FALSE(WriteProfileString(m_folder.File("no/folder/x.ini"), "S", "k", "v"));
}

} // namespace
} // namespace tessvale
