// The writer of every table the program puts out: the lines of --scan (tab-separated,
// CSV, JSON lines), the result list's exports and the change log. One field cleaner
// serves them all; where the forms differ (what is blanked, what is quoted, the mark
// of a text a spreadsheet would take for a formula, the line end) the form's rules say
// so. No Qt.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tessvale {

enum class TableForm
{
    ScanTsv,      // --scan: ASCII controls blanked, trailing blanks dropped, LF
    ScanCsv,      // --scan: quoted when needed, formulas marked, trailing line breaks dropped, LF
    WindowTxt,    // the list's export: formulas marked, then controls blanked, CR LF
    WindowCsv,    // the same, every field quoted
    ChangeLogCsv, // the change log: controls blanked, then formulas marked, every field quoted, CR LF
    JsonLine,     // one object per line: JSON strings, bytes that are no UTF-8 become '?', LF
};

// The first characters that would make a spreadsheet read a text as a formula; the
// mark put before such a text is "'".
inline constexpr std::string_view kFormulaStarts = "=+-@\t\r";

// A field as a spreadsheet must take it for text: one that starts with "=", "+", "-",
// "@", a tab or a carriage return gets a leading "'" (a lone "-", the mark of a value
// that could not be learned, stays as it is).
std::string SpreadsheetSafe(std::string_view field);

// The one field cleaner: the text as the form writes it between its separators (for
// JSON, a JSON string with its quotes).
std::string TableField(std::string_view value, TableForm form);

// A cell of a line: the key names it in the JSON form only.
struct TableCell
{
    std::string_view key;
    std::string_view value;
};

// One line of the form with its line end. Separated forms join the cleaned values;
// the JSON form writes an object of the keys and values, followed inside the braces by
// `jsonMembers` (members already in JSON, without a leading comma) when given.
std::string TableLine(std::span<const TableCell> cells, TableForm form, std::string_view jsonMembers = {});

// The header line of the cells' keys; empty for the JSON form, which has none.
std::string TableHeaderLine(std::span<const TableCell> cells, TableForm form);

} // namespace tessvale
