// The export of the result list ("Save As..."): tab-separated text, CSV or JSON lines,
// and the one-line copy text of a row. No Qt.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/logic/result_list.h"
#include "app/logic/table_writer.h" // SpreadsheetSafe
#include "store/config_file.h"

namespace tessvale {

enum class ExportType
{
    Txt,  // tab-separated, CR LF line ends
    Csv,  // every field quoted, CR LF line ends
    Json, // one object per line as the command line's --format json writes them, with
          // the row's status and change
};

// The path the export writes: the type's extension (".txt", ".csv") is appended when
// the chosen path does not contain it anywhere (case-sensitive); ".json" for JSON.
std::string ExportPath(const std::string& chosenPath, ExportType type);

// The whole file as UTF-8 text: header line, then one line per row, top to bottom.
// In the CSV form a double quote inside a value is doubled. In both, every field goes
// through SpreadsheetSafe and its control characters become blanks. The JSON form has
// no header; its values are the texts as they are (escaped as JSON needs), with
// "Status" ("answered" or "silent") first and "Change" last.
std::string FormatExport(const std::vector<ResultRow>& rows, ExportType type);

// Writes the formatted text in the locale's narrow encoding. The file appears
// complete or not at all (written beside it, then renamed over the target). False when
// it could not be written; an existing file is then left as it was.
bool WriteExportFile(const std::string& path, const std::string& utf8Text);
// The same, saying why it failed. The temporary file "<path>.part<pid>" plus six
// random characters is created exclusively (mode 0600), so a file or link planted
// under that name in a shared folder is never written through.
FileError WriteExportFileReporting(const std::string& path, const std::string& utf8Text);

// The clipboard text of a row: the nine column texts joined by single blanks; with no
// row, eight blanks.
std::string CopyText(const ResultRow* row);

} // namespace tessvale
