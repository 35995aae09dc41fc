#include "app/logic/baseline_csv_reader.h"

#include "app/logic/scan_baseline.h"
#include "app/logic/table_writer.h"
#include "common/text_util.h"

namespace tessvale {
namespace {

// A CSV field the writer marked with "'" so that a spreadsheet would not take it for a
// formula: the mark goes again.
std::string UnmarkFormula(std::string field)
{
    if (field.size() >= 2 && field[0] == '\'' && kFormulaStarts.find(field[1]) != std::string_view::npos) {
        field.erase(0, 1);
    }
    return field;
}

} // namespace

std::string LineError(std::size_t line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

CsvReader::CsvReader(std::string_view text, CsvRecordHandler each) : m_text(text), m_each(std::move(each)) {}

bool CsvReader::Read(std::string& error)
{
    while (m_pos < m_text.size()) {
        if (!ReadRecord(error)) {
            return false;
        }
    }
    return true;
}

bool CsvReader::ReadRecord(std::string& error)
{
    const std::size_t startLine = m_line;
    const std::size_t startPos = m_pos;
    CsvFields fields;
    bool endOfRecord = false;
    while (!endOfRecord) {
        std::string field;
        if (!ReadField(field, endOfRecord, error)) {
            return false;
        }
        if (m_pos - startPos > kMaxBaselineLine) {
            error = LineError(startLine, "longer than " + std::to_string(kMaxBaselineLine) + " bytes");
            return false;
        }
        fields.push_back(UnmarkFormula(std::move(field)));
    }
    if (fields.size() == 1 && Trim(fields[0]).empty()) {
        return true; // a blank line
    }
    return m_each(startLine, fields, error);
}

bool CsvReader::ReadField(std::string& field, bool& endOfRecord, std::string& error)
{
    const bool quoted = m_pos < m_text.size() && m_text[m_pos] == '"';
    if (quoted && !ReadQuoted(field, error)) {
        return false;
    }
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos++];
        if (c == ',') {
            return true;
        }
        if (c == '\n' || (c == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')) {
            m_pos += c == '\r' ? 1 : 0;
            ++m_line;
            endOfRecord = true;
            return true;
        }
        if (quoted || c == '"') {
            error = LineError(m_line, quoted ? "text after a closing quote" : "a quote inside an unquoted field");
            return false;
        }
        field += c;
    }
    endOfRecord = true;
    return true;
}

bool CsvReader::ReadQuoted(std::string& field, std::string& error)
{
    const std::size_t openedOn = m_line;
    ++m_pos;
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos++];
        if (c == '"') {
            if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                field += '"';
                ++m_pos;
                continue;
            }
            return true;
        }
        if (c == '\n') {
            ++m_line;
        }
        if (field.size() > kMaxBaselineLine) {
            break;
        }
        field += c;
    }
    error = LineError(openedOn, field.size() > kMaxBaselineLine
                                    ? "a quoted field longer than " + std::to_string(kMaxBaselineLine) + " bytes"
                                    : "a quote that is never closed");
    return false;
}

} // namespace tessvale
