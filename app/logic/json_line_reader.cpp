#include "app/logic/json_line_reader.h"

#include <cstdint>

namespace tessvale {
namespace {

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

class JsonLineReader
{
public:
    explicit JsonLineReader(std::string_view line) : m_line(line) {}

    bool Read(JsonMembers& members)
    {
        SkipBlanks();
        if (!Take('{')) {
            return false;
        }
        SkipBlanks();
        if (Take('}')) {
            return AtEnd();
        }
        while (true) {
            std::string key, value;
            SkipBlanks();
            if (!ReadString(key)) {
                return false;
            }
            SkipBlanks();
            if (!Take(':')) {
                return false;
            }
            SkipBlanks();
            if (m_pos < m_line.size() && m_line[m_pos] != '"') {
                if (!SkipValue(1)) {
                    return false;
                }
            } else {
                if (!ReadString(value)) {
                    return false;
                }
                members.emplace_back(std::move(key), std::move(value));
            }
            SkipBlanks();
            if (Take('}')) {
                return AtEnd();
            }
            if (!Take(',')) {
                return false;
            }
        }
    }

private:
    void SkipBlanks()
    {
        while (m_pos < m_line.size() && (m_line[m_pos] == ' ' || m_line[m_pos] == '\t')) {
            ++m_pos;
        }
    }
    bool Take(char c)
    {
        if (m_pos < m_line.size() && m_line[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool AtEnd()
    {
        SkipBlanks();
        return m_pos == m_line.size();
    }
    bool ReadEscape(std::string& out)
    {
        if (m_pos >= m_line.size()) {
            return false;
        }
        const char c = m_line[m_pos++];
        constexpr std::string_view kEscaped = "\"\\/bfnrt";
        constexpr std::string_view kMeant = "\"\\/\b\f\n\r\t";
        const std::size_t simple = kEscaped.find(c);
        if (simple != std::string_view::npos) {
            out += kMeant[simple];
            return true;
        }
        if (c != 'u' || m_pos + 4 > m_line.size()) {
            return false;
        }
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            constexpr std::string_view kDigits = "0123456789abcdef0123456789ABCDEF";
            const std::size_t at = kDigits.find(m_line[m_pos++]);
            if (at == std::string_view::npos) {
                return false;
            }
            code = code * 16 + static_cast<std::uint32_t>(at % 16);
        }
        // Halves of a surrogate pair stand for a character the scan never writes.
        AppendUtf8(out, code >= 0xD800 && code <= 0xDFFF ? '?' : code);
        return true;
    }
    // null, or an array or object of strings and nulls (one level of nesting).
    bool SkipValue(int depth)
    {
        if (m_line.substr(m_pos, 4) == "null") {
            m_pos += 4;
            return true;
        }
        std::string ignored;
        if (m_pos < m_line.size() && m_line[m_pos] == '"') {
            return ReadString(ignored);
        }
        if (depth > 1) {
            return false;
        }
        const bool object = Take('{');
        if (!object && !Take('[')) {
            return false;
        }
        const char close = object ? '}' : ']';
        SkipBlanks();
        if (Take(close)) {
            return true;
        }
        while (true) {
            SkipBlanks();
            if (object && (!ReadString(ignored) || (SkipBlanks(), !Take(':')))) {
                return false;
            }
            SkipBlanks();
            if (!SkipValue(depth + 1)) {
                return false;
            }
            SkipBlanks();
            if (Take(close)) {
                return true;
            }
            if (!Take(',')) {
                return false;
            }
        }
    }
    bool ReadString(std::string& out)
    {
        if (!Take('"')) {
            return false;
        }
        while (m_pos < m_line.size()) {
            const char c = m_line[m_pos++];
            if (c == '"') {
                return true;
            }
            if (c == '\\') {
                if (!ReadEscape(out)) {
                    return false;
                }
            } else {
                out += c;
            }
        }
        return false;
    }

    std::string_view m_line;
    std::size_t m_pos = 0;
};

} // namespace

bool ReadJsonLine(std::string_view line, JsonMembers& members)
{
    return JsonLineReader(line).Read(members);
}

} // namespace tessvale
