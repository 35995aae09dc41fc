// Text conversions and small text helpers shared by every layer.
//
// Inside the core, text is UTF-8 in std::string. "Wide" text (what the GUI and the
// profile files of Windows peers carry) is UTF-16 in std::u16string. "ANSI" text is
// the narrow encoding of the user's locale (nl_langinfo(CODESET), UTF-8 on current
// systems); it is what leaves the program as bytes: lookup files, exports, clipboard,
// credentials before Base64.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessvale {

std::string ToUtf8(std::u16string_view wide);
std::u16string FromUtf8(std::string_view utf8);

// Wide text to and from the locale's narrow encoding. Characters the encoding
// cannot represent become '?'.
std::string ToAnsi(std::u16string_view wide);
std::u16string FromAnsi(std::string_view ansi);

// The same conversions for UTF-8 core text.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

// True when the bytes are well-formed UTF-8 (no overlong two-byte forms, no lead byte
// above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// The text with every byte sequence that is no UTF-8 character (and every encoded
// surrogate) replaced by U+FFFD; IsValidUtf8 holds for the result.
std::string ReplaceInvalidUtf8(std::string_view bytes);

// Number of characters (code points) in UTF-8 text.
std::size_t CharCount(std::string_view utf8);

// Cuts UTF-8 text so that it fits a field of `capacity` characters including the
// terminator of the original fixed buffers: at most capacity - 1 characters are kept,
// never splitting a character.
std::string CutToCapacity(std::string_view utf8, std::size_t capacity);

// Host texts as the program shows, stores and exports them: every control character
// (U+0000-U+001F, U+007F and U+0080-U+009F, tabs and line breaks included) becomes a
// blank; everything else is kept.
std::string BlankControlCharacters(std::string_view utf8);

// ASCII case-insensitive comparison.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToUpperAscii(std::string_view text);
std::string ToLowerAscii(std::string_view text);

// The command line after the program's path: the arguments joined by single blanks.
std::string CommandLineText(int argc, char** argv);

// Trims blanks, tabs, CR and LF at both ends.
std::string Trim(std::string_view text);

// A MAC in the one form notes and comparisons use: upper-case hex pairs joined by ":";
// the text itself (trimmed) when it is not six hex pairs.
std::string CanonicalMac(std::string_view mac);
// True when the text is six hex pairs (separated by ':', '-', '.' or blanks, or not).
bool IsSixPairMac(std::string_view mac);

// Reads a decimal integer the way atoi/strtol do: leading white space and a sign are
// accepted, reading stops at the first non-digit, no digits give 0. Saturates at the
// limits of the type instead of overflowing.
long long ParseDecimal(std::string_view text);

} // namespace tessvale
