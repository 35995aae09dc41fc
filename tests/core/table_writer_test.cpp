// The bytes every table form writes for hostile field texts: the scan's three forms,
// the window's three exports and the change log.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/change_tracking.h"
#include "app/logic/headless_scan.h"
#include "app/logic/list_export.h"

namespace tessvale {
namespace {

constexpr const char* kMark = "MARK";

// The line with the field written for kMark replaced by `field`.
std::string Replaced(std::string line, const std::string& mark, const std::string& field)
{
    const std::size_t at = line.find(mark);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no " << mark << " in " << line;
        return line;
    }
    return line.replace(at, mark.size(), field);
}

std::string ScanLine(const std::string& cpu, OutputFormat format)
{
    HostRecord record;
    record.ip = "10.0.0.1";
    record.inventory.cpu = cpu;
    return HeadlessHostLine(record, format);
}

// The window's export of one row, without the header line.
std::string WindowLine(const std::string& cpu, ExportType type)
{
    ResultRow row;
    row.text[kColumnIp] = "10.0.0.1";
    row.text[kColumnCpu] = cpu;
    const std::string text = FormatExport({row}, type);
    return type == ExportType::Json ? text : text.substr(text.find('\n') + 1);
}

std::string ChangeLogLine(const std::string& name)
{
    return FormatChangeLines({{HostChangeKind::New, "10.0.0.1", "", "", name, ""}}, "t", {}, false);
}

TEST(TableForms, HostileFieldsAreWrittenAsEachFormWritesThem)
{
    struct Case
    {
        std::string value;
        std::string scanTsv, scanCsv, json, windowTxt, windowCsv, windowJson, changeLog;
    };
    const std::string nel = std::string("a\xc2\x85") + "b";
    const std::vector<Case> cases = {
        {"a\"b", "a\"b", R"("a""b")", R"("a\"b")", "a\"b", R"("a""b")", R"("a\"b")", R"("a""b")"},
        {"x,y", "x,y", "\"x,y\"", "\"x,y\"", "x,y", "\"x,y\"", "\"x,y\"", "\"x,y\""},
        {"a\r\nb", "a  b", "\"a\r\nb\"", R"("a\u000d\u000ab")", "a  b", "\"a  b\"", "\"a  b\"", "\"a  b\""},
        {"a\nb", "a b", "\"a\nb\"", R"("a\u000ab")", "a b", "\"a b\"", "\"a b\"", "\"a b\""},
        {"a\tb", "a b", "a\tb", R"("a\u0009b")", "a b", "\"a b\"", "\"a b\"", "\"a b\""},
        // A vendor name that ends in the listing's carriage return; trailing blanks.
        {"vendor\r", "vendor", "vendor", R"("vendor\u000d")", "vendor ", "\"vendor \"", "\"vendor \"", "\"vendor \""},
        {"x\n", "x", "x", R"("x\u000a")", "x ", "\"x \"", "\"x \"", "\"x \""},
        {"x  ", "x", "x  ", "\"x  \"", "x  ", "\"x  \"", "\"x  \"", "\"x  \""},
        {"\x01x\x7f", " x", "\x01x\x7f", R"("\u0001x\u007f")", " x ", "\" x \"", "\" x \"", "\" x \""},
        // A C1 control (U+0085) in UTF-8.
        {nel, nel, nel, "\"" + nel + "\"", "a b", "\"a b\"", "\"a b\"", "\"a b\""},
        // Starts of formulas.
        {"=1+1", "=1+1", "'=1+1", "\"=1+1\"", "'=1+1", "\"'=1+1\"", "\"=1+1\"", "\"'=1+1\""},
        {"+x", "+x", "'+x", "\"+x\"", "'+x", "\"'+x\"", "\"+x\"", "\"'+x\""},
        {"-1", "-1", "'-1", "\"-1\"", "'-1", "\"'-1\"", "\"-1\"", "\"'-1\""},
        {"@x", "@x", "'@x", "\"@x\"", "'@x", "\"'@x\"", "\"@x\"", "\"'@x\""},
        {"=a,\"b\"", "=a,\"b\"", R"("'=a,""b""")", R"("=a,\"b\"")", "'=a,\"b\"", R"("'=a,""b""")", R"("=a,\"b\"")",
         R"("'=a,""b""")"},
        {"\tX", " X", "'\tX", R"("\u0009X")", "' X", "\"' X\"", "\" X\"", "\" X\""},
        {"\rX", " X", "\"'\rX\"", R"("\u000dX")", "' X", "\"' X\"", "\" X\"", "\" X\""},
        // The mark of a value that could not be learned stays as it is.
        {"-", "-", "-", "\"-\"", "-", "\"-\"", "\"-\"", "\"-\""},
        {"'quoted", "'quoted", "'quoted", "\"'quoted\"", "'quoted", "\"'quoted\"", "\"'quoted\"", "\"'quoted\""},
        // UTF-8 stays; bytes that are no UTF-8 become '?' in JSON only.
        {"Zo\xc3\xab", "Zo\xc3\xab", "Zo\xc3\xab", "\"Zo\xc3\xab\"", "Zo\xc3\xab", "\"Zo\xc3\xab\"", "\"Zo\xc3\xab\"",
         "\"Zo\xc3\xab\""},
        {"a\xff", "a\xff", "a\xff", "\"a?\"", "a\xff", "\"a\xff\"", "\"a?\"", "\"a\xff\""},
        {"\\", "\\", "\\", R"("\\")", "\\", R"("\")", R"("\\")", R"("\")"},
    };
    const std::string mark = kMark;
    const std::string quotedMark = "\"" + mark + "\"";
    for (const Case& c : cases) {
        const std::string& v = c.value;
        EXPECT_EQ(ScanLine(v, OutputFormat::Tsv), Replaced(ScanLine(mark, OutputFormat::Tsv), mark, c.scanTsv)) << v;
        EXPECT_EQ(ScanLine(v, OutputFormat::Csv), Replaced(ScanLine(mark, OutputFormat::Csv), mark, c.scanCsv)) << v;
        EXPECT_EQ(ScanLine(v, OutputFormat::Json), Replaced(ScanLine(mark, OutputFormat::Json), quotedMark, c.json))
            << v;
        EXPECT_EQ(WindowLine(v, ExportType::Txt), Replaced(WindowLine(mark, ExportType::Txt), mark, c.windowTxt)) << v;
        EXPECT_EQ(WindowLine(v, ExportType::Csv), Replaced(WindowLine(mark, ExportType::Csv), quotedMark, c.windowCsv))
            << v;
        EXPECT_EQ(WindowLine(v, ExportType::Json),
                  Replaced(WindowLine(mark, ExportType::Json), quotedMark, c.windowJson))
            << v;
        EXPECT_EQ(ChangeLogLine(v), Replaced(ChangeLogLine(mark), quotedMark, c.changeLog)) << v;
    }
}

// The lines around the field, so that the replacements above stand in whole lines.
TEST(TableForms, TheLinesAroundAFieldAreThoseOfEachForm)
{
    EXPECT_EQ(ScanLine("c", OutputFormat::Tsv), "10.0.0.1\t\t\tc\t\t\t\t\t\n");
    EXPECT_EQ(ScanLine("c", OutputFormat::Csv), "10.0.0.1,,,c,,,,,\n");
    EXPECT_EQ(WindowLine("c", ExportType::Txt), "10.0.0.1\t\t\tc\t\t\t\t\t\r\n");
    EXPECT_EQ(WindowLine("c", ExportType::Csv), "\"10.0.0.1\",\"\",\"\",\"c\",\"\",\"\",\"\",\"\",\"\"\r\n");
    EXPECT_EQ(ChangeLogLine("c"), "\"t\",\"10.0.0.1\",\"\",\"\",\"c\",\"new\",\"\"\r\n");
    EXPECT_EQ(FormatChangeLines({}, "t", {}, true),
              "\"time\",\"IP\",\"MAC\",\"old MAC\",\"name\",\"change\",\"comment\"\r\n");
}

} // namespace
} // namespace tessvale
