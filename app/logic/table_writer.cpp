#include "app/logic/table_writer.h"

#include <array>

#include "common/text_util.h"

namespace tessvale {
namespace {

enum class Quoting
{
    Never,
    WhenNeeded, // a comma, a quote or a line break inside
    Always,
    Json,
};

enum class Blanking
{
    None,
    Ascii,      // bytes below 0x20 and DEL
    AsciiAndC1, // those and the C1 controls of UTF-8
};

enum class FormulaMark
{
    None,
    BeforeBlanking, // a leading tab or carriage return is marked, then blanked
    AfterBlanking,  // a leading control is a blank by then and stays unmarked
};

struct FormRules
{
    char separator;
    std::string_view lineEnd;
    bool dropLineEnds; // line breaks at the end of the text
    Blanking blanking;
    bool dropTrailingBlanks;
    FormulaMark mark;
    Quoting quoting;
};

// In the order of TableForm.
constexpr std::array<FormRules, 6> kFormRules = {{
    {'\t', "\n", false, Blanking::Ascii, true, FormulaMark::None, Quoting::Never},                   // ScanTsv
    {',', "\n", true, Blanking::None, false, FormulaMark::BeforeBlanking, Quoting::WhenNeeded},      // ScanCsv
    {'\t', "\r\n", false, Blanking::AsciiAndC1, false, FormulaMark::BeforeBlanking, Quoting::Never}, // WindowTxt
    {',', "\r\n", false, Blanking::AsciiAndC1, false, FormulaMark::BeforeBlanking, Quoting::Always}, // WindowCsv
    {',', "\r\n", false, Blanking::AsciiAndC1, false, FormulaMark::AfterBlanking, Quoting::Always},  // ChangeLogCsv
    {',', "\n", false, Blanking::None, false, FormulaMark::None, Quoting::Json},                     // JsonLine
}};

const FormRules& RulesOf(TableForm form)
{
    return kFormRules.at(static_cast<std::size_t>(form));
}

bool IsAsciiControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

std::string Blanked(std::string text, Blanking blanking)
{
    if (blanking == Blanking::AsciiAndC1) {
        return BlankControlCharacters(text);
    }
    if (blanking == Blanking::Ascii) {
        for (char& c : text) {
            if (IsAsciiControl(c)) {
                c = ' ';
            }
        }
    }
    return text;
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    return quoted + '"';
}

// Quotes and backslashes escaped, control characters as \u00XX; bytes that are not
// UTF-8 become '?' so that the line stays valid JSON.
std::string JsonString(std::string_view value)
{
    const bool valid = IsValidUtf8(value);
    std::string json = "\"";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (IsAsciiControl(c)) {
            constexpr std::string_view kHex = "0123456789abcdef";
            json += "\\u00";
            json += kHex[byte >> 4];
            json += kHex[byte & 0x0F];
        } else {
            json += !valid && byte >= 0x80 ? '?' : c;
        }
    }
    return json + '"';
}

} // namespace

std::string SpreadsheetSafe(std::string_view field)
{
    if (field.empty() || field == "-" || kFormulaStarts.find(field.front()) == std::string_view::npos) {
        return std::string(field);
    }
    return "'" + std::string(field);
}

std::string TableField(std::string_view value, TableForm form)
{
    const FormRules& rules = RulesOf(form);
    if (rules.quoting == Quoting::Json) {
        return JsonString(value);
    }
    std::string field(value);
    while (rules.dropLineEnds && !field.empty() && (field.back() == '\r' || field.back() == '\n')) {
        field.pop_back();
    }
    if (rules.mark == FormulaMark::BeforeBlanking) {
        field = SpreadsheetSafe(field);
    }
    field = Blanked(std::move(field), rules.blanking);
    while (rules.dropTrailingBlanks && !field.empty() && field.back() == ' ') {
        field.pop_back();
    }
    if (rules.mark == FormulaMark::AfterBlanking) {
        field = SpreadsheetSafe(field);
    }
    const bool quote = rules.quoting == Quoting::Always ||
                       (rules.quoting == Quoting::WhenNeeded && field.find_first_of(",\"\r\n") != std::string::npos);
    return quote ? Quoted(field) : field;
}

std::string TableLine(std::span<const TableCell> cells, TableForm form, std::string_view jsonMembers)
{
    const FormRules& rules = RulesOf(form);
    const bool json = rules.quoting == Quoting::Json;
    std::string line = json ? "{" : "";
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line += rules.separator;
        }
        if (json) {
            line += TableField(cells[i].key, form) + ":";
        }
        line += TableField(cells[i].value, form);
    }
    if (json) {
        if (!jsonMembers.empty()) {
            line += (cells.empty() ? "" : ",") + std::string(jsonMembers);
        }
        line += '}';
    }
    line += rules.lineEnd;
    return line;
}

std::string TableHeaderLine(std::span<const TableCell> cells, TableForm form)
{
    if (form == TableForm::JsonLine) {
        return {};
    }
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        line += (i > 0 ? std::string(1, RulesOf(form).separator) : std::string()) + std::string(cells[i].key);
    }
    return line + std::string(RulesOf(form).lineEnd);
}

} // namespace tessvale
