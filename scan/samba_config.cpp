#include "scan/samba_config.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/file_util.h"
#include "common/text_util.h"

namespace tessvale {
namespace {

constexpr const char* kDefaultWorkgroup = "WORKGROUP";
constexpr const char* kDefaultUserShareFolder = "/var/lib/samba/usershares";

std::string NormaliseKey(std::string_view key)
{
    std::string normal;
    for (const char c : key) {
        if (c != ' ' && c != '\t' && c != '_') {
            normal += c;
        }
    }
    return ToLowerAscii(normal);
}

bool IsFalse(std::string_view value)
{
    return EqualsNoCase(value, "no") || EqualsNoCase(value, "false") || value == "0";
}

const SambaSection* FindSection(const std::vector<SambaSection>& sections, std::string_view name)
{
    for (const SambaSection& section : sections) {
        if (EqualsNoCase(section.name, name)) {
            return &section;
        }
    }
    return nullptr;
}

} // namespace

std::string SambaSection::Value(std::string_view key, std::string_view fallback) const
{
    const std::string normal = NormaliseKey(key);
    for (const auto& [parameterKey, value] : parameters) {
        if (parameterKey == normal) {
            return value;
        }
    }
    return std::string(fallback);
}

std::vector<SambaSection> ParseSambaConfig(std::string_view text)
{
    std::vector<SambaSection> sections;
    std::string pending; // a line continued with '\'
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string line = pending + std::string(text.substr(start, end - start));
        pending.clear();
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.back() == '\\') {
            line.pop_back();
            pending = line;
            if (start <= text.size()) {
                continue;
            }
        }
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            sections.push_back({Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)), {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        if (sections.empty()) {
            sections.push_back({"global", {}});
        }
        sections.back().parameters.emplace_back(NormaliseKey(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }
    return sections;
}

std::string ReadSambaWorkgroup(const std::string& smbConfPath)
{
    std::string text;
    if (!ReadWholeFile(smbConfPath, text)) {
        return kDefaultWorkgroup;
    }
    const std::vector<SambaSection> sections = ParseSambaConfig(text);
    const SambaSection* global = FindSection(sections, "global");
    const std::string workgroup = global ? global->Value("workgroup") : std::string();
    return workgroup.empty() ? std::string(kDefaultWorkgroup) : workgroup;
}

std::vector<std::string> SambaConfigShares(const std::vector<SambaSection>& sections)
{
    std::vector<std::string> shares;
    for (const SambaSection& section : sections) {
        if (EqualsNoCase(section.name, "global") || EqualsNoCase(section.name, "homes") ||
            EqualsNoCase(section.name, "printers") || section.name.empty()) {
            continue;
        }
        if (IsFalse(section.Value("available", "yes"))) {
            continue;
        }
        shares.push_back(section.name);
    }
    return shares;
}

std::vector<std::string> SambaUserShares(const std::string& folder)
{
    std::vector<std::string> shares;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (!entry.is_regular_file(error)) {
            continue;
        }
        std::string text;
        if (!ReadWholeFile(entry.path().string(), text)) {
            continue;
        }
        std::string name = entry.path().filename().string();
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            line = Trim(line);
            if (line.starts_with("sharename=") && line.size() > 10) {
                name = line.substr(10);
            }
        }
        shares.push_back(name);
    }
    std::sort(shares.begin(), shares.end());
    return shares;
}

std::string SambaUserShareFolder(const std::vector<SambaSection>& sections)
{
    const SambaSection* global = FindSection(sections, "global");
    const std::string folder = global ? global->Value("usershare path") : std::string();
    return folder.empty() ? std::string(kDefaultUserShareFolder) : folder;
}

} // namespace tessvale
