// Profile files: the translation files arrive from the language server, and
// Language.ini is rewritten in place by the language switch. Every input is read as a
// translation file, entry by entry and key by key, and then has the language choice
// written into it, which must read back and leave the translations as they were.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/file_util.h"
#include "common/profile_file.h"
#include "common/text_util.h"
#include "fuzz_support.h"

namespace {

using tessvale::fuzz::Require;

// How many distinct keys are also looked up one by one.
constexpr std::size_t kKeysRead = 3;
constexpr std::size_t kSmallBuffer = 8;

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A looked-up value is the listed one, cut to the buffer without splitting a character
// of well-formed UTF-8.
void CheckCut(const std::string& read, const std::string& listed, std::size_t bufferSize)
{
    Require(read.size() < bufferSize, "a value longer than its buffer");
    Require(listed.compare(0, read.size(), read) == 0, "a value that is not the listed one");
    if (read.size() < listed.size()) {
        Require(listed.size() >= bufferSize, "a value cut that fitted its buffer");
        Require(!tessvale::IsValidUtf8(listed) || !IsContinuationByte(listed[read.size()]),
                "a value cut inside a character");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = tessvale::fuzz::ScratchFolder() + "/deu.ini";
    // The readers run over the bytes in memory, as the file readers do once they have
    // read the file; only the write goes through a file.
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto entries = tessvale::ReadProfileSectionFromText(text, "Language");
    std::set<std::string> seen;
    for (const auto& [key, value] : entries) {
        Require(key == tessvale::Trim(key) && value == tessvale::Trim(value), "an entry kept its blanks");
        Require(key.find('=') == std::string::npos, "an entry not split at its first =");
        // Keys compare without regard to case: the first entry of a key is the one read.
        if (seen.size() == kKeysRead || !seen.insert(tessvale::ToLowerAscii(key)).second) {
            continue;
        }
        CheckCut(tessvale::ReadProfileStringFromText(text, " language ", key, "missing"), value,
                 tessvale::kProfileValueBuffer);
        CheckCut(tessvale::ReadProfileStringFromText(text, "LANGUAGE", key, "", kSmallBuffer), value, kSmallBuffer);
    }
    constexpr char kAbsentKey[] = "absent key";
    const bool listed = std::any_of(entries.begin(), entries.end(),
                                    [&](const auto& entry) { return tessvale::EqualsNoCase(entry.first, kAbsentKey); });
    if (!listed) {
        Require(tessvale::ReadProfileStringFromText(text, "Language", kAbsentKey, "default") == "default",
                "a missing key did not give the default");
    }

    tessvale::fuzz::PutFile(path, data, size);
    Require(tessvale::WriteProfileString(path, "Settings", "Language", "DEU"), "the language choice was not written");
    std::string written;
    Require(tessvale::ReadWholeFile(path, written), "the written file cannot be read");
    Require(tessvale::ReadProfileStringFromText(written, "settings", "LANGUAGE") == "DEU",
            "the language choice does not read back");
    Require(tessvale::ReadProfileSectionFromText(written, "Language") == entries,
            "writing the choice changed the translations");
    return 0;
}
