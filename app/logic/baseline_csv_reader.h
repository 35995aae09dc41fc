// The CSV reader of a baseline file: RFC 4180 records as --scan writes them. No Qt.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

using CsvFields = std::vector<std::string>;
// Takes a record and the number of the line it starts on; false with a message stops.
using CsvRecordHandler = std::function<bool(std::size_t line, const CsvFields& fields, std::string& error)>;

// "line N: <what>", as the messages about a baseline file name a line.
std::string LineError(std::size_t line, const std::string& what);

// RFC 4180: fields optionally quoted, quotes doubled inside, a quoted field may hold
// line breaks. A quote inside an unquoted field, text after a closing quote, a quote
// left open and a record longer than kMaxBaselineLine are errors. Blank lines are
// passed over; the "'" the writer put before a formula's start goes again.
class CsvReader
{
public:
    CsvReader(std::string_view text, CsvRecordHandler each);

    // Every record to the handler; false with a message at the first error.
    bool Read(std::string& error);

private:
    bool ReadRecord(std::string& error);
    // One field and the separator after it; endOfRecord at a line end or the text's end.
    bool ReadField(std::string& field, bool& endOfRecord, std::string& error);
    bool ReadQuoted(std::string& field, std::string& error);

    std::string_view m_text;
    CsvRecordHandler m_each;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
};

} // namespace tessvale
