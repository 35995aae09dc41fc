#include "app/logic/list_export.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <system_error>
#include <unistd.h>

#include "app/logic/headless_scan.h"
#include "common/text_util.h"

namespace tessvale {
namespace {

constexpr const char* kTxtHeader =
    "IP\tMAC\tHostName\tCPU\tRAM Size\tShare File\tSystemVer\tNetCard Type\tNetCard Vendor\r\n";
constexpr const char* kCsvHeader = "IP,MAC,HostName,CPU,RAM Size,Share File,SystemVer,NetCard Type,NetCard Vendor\r\n";

std::string CsvField(const std::string& value)
{
    std::string field = "\"";
    for (char c : value) {
        if (c == '"') {
            field += '"';
        }
        field += c;
    }
    field += '"';
    return field;
}

// A field as both formats write it: never the start of a formula, and no control
// character that could split its row or column (stored results from older files may
// still hold them).
std::string ExportField(const std::string& value)
{
    return BlankControlCharacters(SpreadsheetSafe(value));
}

} // namespace

std::string SpreadsheetSafe(std::string_view field)
{
    if (field.empty() || field == "-") {
        return std::string(field);
    }
    switch (field.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return "'" + std::string(field);
    default:
        return std::string(field);
    }
}

std::string ExportPath(const std::string& chosenPath, ExportType type)
{
    const std::string extension = type == ExportType::Csv ? ".csv" : type == ExportType::Json ? ".json" : ".txt";
    if (chosenPath.find(extension) == std::string::npos) {
        return chosenPath + extension;
    }
    return chosenPath;
}

std::string FormatExport(const std::vector<ResultRow>& rows, ExportType type)
{
    if (type == ExportType::Json) {
        std::string text;
        for (const ResultRow& row : rows) {
            std::string line = HeadlessHostLine(RowToRecord(row), OutputFormat::Json, &row.change);
            const char* status = row.image == kImageAnswered ? "answered" : "silent";
            line.insert(1, std::string(R"("Status":")") + status + R"(",)");
            text += line;
        }
        return text;
    }
    std::string text = type == ExportType::Csv ? kCsvHeader : kTxtHeader;
    for (const ResultRow& row : rows) {
        for (int column = kColumnIp; column < kColumnCount; ++column) {
            if (type == ExportType::Csv) {
                if (column > kColumnIp) {
                    text += ',';
                }
                text += CsvField(ExportField(row.text[column]));
            } else {
                if (column > kColumnIp) {
                    text += '\t';
                }
                text += ExportField(row.text[column]);
            }
        }
        text += "\r\n"; // RFC 4180 for CSV, as the text form
    }
    return text;
}

bool WriteExportFile(const std::string& path, const std::string& utf8Text)
{
    return !WriteExportFileReporting(path, utf8Text);
}

FileError WriteExportFileReporting(const std::string& path, const std::string& utf8Text)
{
    ReplaceOptions options;
    options.temporaryInfix = ".part" + std::to_string(::getpid()) + ".";
    return ReplaceFileContent(path, Utf8ToAnsi(utf8Text), options);
}

std::string CopyText(const ResultRow* row)
{
    std::string text;
    for (int column = kColumnIp; column < kColumnCount; ++column) {
        if (column > kColumnIp) {
            text += ' ';
        }
        if (row != nullptr) {
            text += row->text[column];
        }
    }
    return text;
}

} // namespace tessvale
