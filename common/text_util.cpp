#include "common/text_util.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include <iconv.h>
#include <langinfo.h>

namespace tessvale {
namespace {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one code point at text[i], advancing i. Malformed bytes give U+FFFD.
char32_t NextCodePoint(std::string_view text, std::size_t& i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
            i += k;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    i += extra + 1;
    return cp;
}

// The UTF-8 form of the code points next(text, i) reads one by one, each moving i on.
template <typename Text, typename Next> std::string EncodeUtf8(Text text, Next next)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        AppendUtf8(out, next(text, i));
    }
    return out;
}

char LowerAsciiChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char UpperAsciiChar(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool LocaleIsUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0;
}

// Converts between encodings with iconv; unconvertible input becomes '?'.
std::string Iconv(std::string_view input, const char* from, const char* to)
{
    iconv_t cd = iconv_open(to, from);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open(3) reports failure as (iconv_t)-1
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(input);
    }
    std::string out;
    out.resize(input.size() * 4 + 16);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            const auto used = static_cast<std::size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        // Invalid or unconvertible: emit '?' and skip one input character.
        if (outLeft == 0) {
            const auto used = static_cast<std::size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
        }
        *dst++ = '?';
        --outLeft;
        std::size_t skip = 1;
        if (std::strcmp(from, "UTF-8") == 0) {
            const auto pos = static_cast<std::size_t>(in - input.data());
            std::size_t next = pos;
            NextCodePoint(input, next);
            skip = next - pos;
        }
        in += skip;
        inLeft = inLeft > skip ? inLeft - skip : 0;
    }
    iconv_close(cd);
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

} // namespace

std::string ReplaceInvalidUtf8(std::string_view bytes)
{
    // Written again in its shortest form: an overlong sequence becomes valid.
    return EncodeUtf8(bytes, [](std::string_view text, std::size_t& i) {
        const char32_t cp = NextCodePoint(text, i);
        return (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF ? char32_t{0xFFFD} : cp;
    });
}

std::string ToUtf8(std::u16string_view wide)
{
    return EncodeUtf8(wide, [](std::u16string_view text, std::size_t& i) {
        char32_t cp = text[i++];
        if (cp >= 0xD800 && cp <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i++] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        return cp;
    });
}

std::u16string FromUtf8(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = NextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8)
{
    if (LocaleIsUtf8()) {
        return std::string(utf8);
    }
    return Iconv(utf8, "UTF-8", nl_langinfo(CODESET));
}

std::string AnsiToUtf8(std::string_view ansi)
{
    if (LocaleIsUtf8()) {
        return std::string(ansi);
    }
    return Iconv(ansi, nl_langinfo(CODESET), "UTF-8");
}

std::string ToAnsi(std::u16string_view wide)
{
    return Utf8ToAnsi(ToUtf8(wide));
}

std::u16string FromAnsi(std::string_view ansi)
{
    return FromUtf8(AnsiToUtf8(ansi));
}

bool IsValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::size_t CharCount(std::string_view utf8)
{
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        NextCodePoint(utf8, i);
        ++count;
    }
    return count;
}

std::string CutToCapacity(std::string_view utf8, std::size_t capacity)
{
    if (capacity == 0) {
        return {};
    }
    const std::size_t keep = capacity - 1;
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < utf8.size() && count < keep) {
        NextCodePoint(utf8, i);
        ++count;
    }
    return std::string(utf8.substr(0, i));
}

std::string BlankControlCharacters(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x20 || byte == 0x7F) {
            out += ' ';
        } else if (byte == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            out += ' '; // a C1 control, two bytes in UTF-8
            ++i;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerAsciiChar(x) == LowerAsciiChar(y); });
}

std::string ToUpperAscii(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), UpperAsciiChar);
    return out;
}

std::string ToLowerAscii(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), LowerAsciiChar);
    return out;
}

std::string CommandLineText(int argc, char** argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

std::string Trim(std::string_view text)
{
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

long long ParseDecimal(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (LLONG_MAX - digit) / 10) {
            return negative ? LLONG_MIN : LLONG_MAX;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string CanonicalMac(std::string_view mac)
{
    std::string digits;
    for (const char c : mac) {
        if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
            digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (c != ':' && c != '-' && c != '.' && c != ' ') {
            return Trim(std::string(mac));
        }
    }
    if (digits.size() != 12) {
        return Trim(std::string(mac));
    }
    std::string canonical;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (!canonical.empty()) {
            canonical += ':';
        }
        canonical += digits.substr(i, 2);
    }
    return canonical;
}

bool IsSixPairMac(std::string_view mac)
{
    const std::string canonical = CanonicalMac(mac);
    if (canonical.size() != 17) {
        return false;
    }
    for (std::size_t i = 0; i < canonical.size(); ++i) {
        const bool ok = i % 3 == 2 ? canonical[i] == ':' : std::isxdigit(static_cast<unsigned char>(canonical[i])) != 0;
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace tessvale
