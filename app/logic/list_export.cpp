#include "app/logic/list_export.h"

#include <system_error>
#include <unistd.h>

#include "app/logic/host_table.h"
#include "common/text_util.h"

namespace tessvale {

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
            // The texts as a scan's record holds them: cut to their sizes, controls blanked.
            const HostRecord record = RowToRecord(row);
            const HostLineExtras extras{row.image == kImageAnswered ? "answered" : "silent", &row.change,
                                        &record.names};
            text += HostLine(TextsOf(record), TableForm::JsonLine, extras);
        }
        return text;
    }
    const TableForm form = type == ExportType::Csv ? TableForm::WindowCsv : TableForm::WindowTxt;
    std::string text = HostHeaderLine(form, false);
    for (const ResultRow& row : rows) {
        text += HostLine(TextsOf(row), form);
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
