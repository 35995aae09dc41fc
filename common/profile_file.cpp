#include "common/profile_file.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include <unistd.h>

#include "common/checked_output.h"
#include "common/file_util.h"
#include "common/temporary_file.h"
#include "common/text_util.h"

namespace tessvale {
namespace {

struct ProfileLines
{
    std::vector<std::string> lines; // without line ends
    bool crlf = false;              // the file used CR LF line ends
};

ProfileLines SplitLines(std::string_view content)
{
    ProfileLines result;
    // A byte-order mark left by an editor is not part of the first line.
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.remove_prefix(3);
    }
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            result.crlf = true;
        }
        result.lines.emplace_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        content.remove_prefix(end + 1);
    }
    return result;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string> SectionName(std::string_view line)
{
    const std::string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') {
        return std::nullopt;
    }
    const std::size_t close = trimmed.find(']');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    return Trim(std::string_view(trimmed).substr(1, close - 1));
}

// Splits an entry line at its first "=": trimmed key and value; nothing when the line
// has no "=".
std::optional<std::pair<std::string, std::string>> SplitEntry(std::string_view line)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return std::make_pair(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
}

// Index range [first, last) of the entry lines of the first section with that name.
std::optional<std::pair<std::size_t, std::size_t>> FindSection(const std::vector<std::string>& lines,
                                                               std::string_view section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (!name || !EqualsNoCase(*name, Trim(section))) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end])) {
            ++end;
        }
        return std::make_pair(i + 1, end);
    }
    return std::nullopt;
}

std::string CutUtf8Bytes(std::string text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t cut = maxBytes;
    // Step back over continuation bytes so that no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    text.resize(cut);
    return text;
}

} // namespace

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize)
{
    const auto content = ReadWholeFile(path);
    if (!content) {
        const std::size_t maxBytes = bufferSize > 0 ? bufferSize - 1 : 0;
        return CutUtf8Bytes(std::string(defaultValue), maxBytes);
    }
    return ReadProfileStringFromText(*content, section, key, defaultValue, bufferSize);
}

std::string ReadProfileStringFromText(std::string_view content, std::string_view section, std::string_view key,
                                      std::string_view defaultValue, std::size_t bufferSize)
{
    const std::size_t maxBytes = bufferSize > 0 ? bufferSize - 1 : 0;
    const ProfileLines file = SplitLines(content);
    const auto range = FindSection(file.lines, section);
    if (range) {
        const std::string wanted = Trim(key);
        for (std::size_t i = range->first; i < range->second; ++i) {
            const auto entry = SplitEntry(file.lines[i]);
            if (entry && EqualsNoCase(entry->first, wanted)) {
                return CutUtf8Bytes(entry->second, maxBytes);
            }
        }
    }
    return CutUtf8Bytes(std::string(defaultValue), maxBytes);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key, std::string_view value)
{
    // A line break in any part, or an "=" in the key, would write an entry that reads
    // back as something else.
    const auto breaksLine = [](std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; };
    if (breaksLine(section) || breaksLine(key) || breaksLine(value) || key.find('=') != std::string_view::npos ||
        Trim(key).empty()) {
        return false;
    }
    const auto content = ReadWholeFile(path);
    ProfileLines file = content ? SplitLines(*content) : ProfileLines{};
    const std::string entryLine = Trim(key) + "=" + Trim(value);

    if (const auto range = FindSection(file.lines, section)) {
        bool replaced = false;
        for (std::size_t i = range->first; i < range->second && !replaced; ++i) {
            const auto entry = SplitEntry(file.lines[i]);
            if (entry && EqualsNoCase(entry->first, Trim(key))) {
                file.lines[i] = entryLine;
                replaced = true;
            }
        }
        if (!replaced) {
            // After the section's last non-blank line, so blank separators stay in place.
            std::size_t insertAt = range->second;
            while (insertAt > range->first && Trim(file.lines[insertAt - 1]).empty()) {
                --insertAt;
            }
            file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entryLine);
        }
    } else {
        if (!file.lines.empty() && !Trim(file.lines.back()).empty()) {
            file.lines.emplace_back();
        }
        file.lines.push_back("[" + Trim(section) + "]");
        file.lines.push_back(entryLine);
    }

    const std::string lineEnd = file.crlf ? "\r\n" : "\n";
    std::string text;
    for (const std::string& line : file.lines) {
        text += line;
        text += lineEnd;
    }
    // A new file of its own (O_EXCL), never a fixed name that someone could have
    // planted a link under.
    std::string temporary;
    UniqueFd out = CreateTemporaryBeside(path, temporary);
    if (!out.Valid()) {
        return false;
    }
    std::string_view rest(text);
    while (!rest.empty()) {
        const ssize_t written = ::write(out.Get(), rest.data(), rest.size());
        if (written <= 0) {
            out.Close();
            IgnoreResult(std::remove(temporary.c_str()));
            return false;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (!out.Close()) {
        IgnoreResult(std::remove(temporary.c_str()));
        return false;
    }
    return ReplaceWithTemporary(temporary, path);
}

std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& path, std::string_view section)
{
    const auto content = ReadWholeFile(path);
    if (!content) {
        return {};
    }
    return ReadProfileSectionFromText(*content, section);
}

std::vector<std::pair<std::string, std::string>> ReadProfileSectionFromText(std::string_view content,
                                                                            std::string_view section)
{
    std::vector<std::pair<std::string, std::string>> entries;
    const ProfileLines file = SplitLines(content);
    const auto range = FindSection(file.lines, section);
    if (!range) {
        return entries;
    }
    for (std::size_t i = range->first; i < range->second; ++i) {
        if (auto entry = SplitEntry(file.lines[i])) {
            entries.push_back(std::move(*entry));
        }
    }
    return entries;
}

} // namespace tessvale
