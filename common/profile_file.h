// Reader and writer of INI-style profile files ("[Section]" lines followed by
// "key=value" lines), following the rules of the Windows profile functions that the
// language files were made for: section and key names are compared without regard to
// ASCII letter case, a line is split at its first "=", and white space around keys
// and values is ignored. Texts are passed through as bytes (UTF-8 in practice).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessvale {

// Size of the buffer a profile value is read into, terminator included: values are
// cut to one byte less.
inline constexpr std::size_t kProfileValueBuffer = 1024;

// The value of `key` in `section`, or `defaultValue` when the file, the section or
// the key is missing. Values are cut to bufferSize - 1 bytes without splitting a
// UTF-8 character.
std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue = {}, std::size_t bufferSize = kProfileValueBuffer);

// Sets `key` in `section` to `value`, adding the section or the key when missing and
// creating the file when it does not exist. The file is replaced as a whole, so a
// reader never sees half of it. False when the file cannot be written.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// Every "key=value" entry of `section` in file order, split at the first "=" and
// trimmed. Lines without "=" are left out. Empty when the file or section is missing.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& path, std::string_view section);

// The same two readers over a file's content held in memory (the file readers use them).
std::string ReadProfileStringFromText(std::string_view content, std::string_view section, std::string_view key,
                                      std::string_view defaultValue = {}, std::size_t bufferSize = kProfileValueBuffer);
std::vector<std::pair<std::string, std::string>> ReadProfileSectionFromText(std::string_view content,
                                                                            std::string_view section);

} // namespace tessvale
