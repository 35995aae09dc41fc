#include "scan/address_forms.h"

#include <cstdio>

#include "common/checked_output.h"

namespace tessvale {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool ReadPair(std::string_view text, std::size_t at, std::uint8_t& value)
{
    const int high = HexDigit(text[at]);
    const int low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0) {
        return false;
    }
    value = static_cast<std::uint8_t>(high * 16 + low);
    return true;
}

} // namespace

std::optional<std::uint32_t> ParseIpv4(std::string_view text)
{
    return ParseDottedQuad(text);
}

std::string FormatIpv4(std::uint32_t hostOrder)
{
    char text[16];
    IgnoreResult(std::snprintf(text, sizeof text, "%u.%u.%u.%u", (hostOrder >> 24) & 0xFFu, (hostOrder >> 16) & 0xFFu,
                               (hostOrder >> 8) & 0xFFu, hostOrder & 0xFFu));
    return text;
}

std::optional<MacAddress> ParseMac(std::string_view text)
{
    MacAddress mac{};
    if (text.size() == 12) {
        for (std::size_t i = 0; i < 6; ++i) {
            if (!ReadPair(text, i * 2, mac[i])) {
                return std::nullopt;
            }
        }
        return mac;
    }
    if (text.size() != 17) {
        return std::nullopt;
    }
    const char separator = text[2];
    if (separator != ':' && separator != '-') {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 6; ++i) {
        if (!ReadPair(text, i * 3, mac[i])) {
            return std::nullopt;
        }
        if (i < 5 && text[i * 3 + 2] != separator) {
            return std::nullopt;
        }
    }
    return mac;
}

std::string FormatMac(const MacAddress& mac)
{
    char text[18];
    IgnoreResult(std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                               mac[4], mac[5]));
    return text;
}

bool IsNoAnswerMac(std::string_view mac)
{
    if (mac.size() != kNoAnswerMac.size()) {
        return false;
    }
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const char c = mac[i] == 'f' ? 'F' : mac[i];
        if (c != kNoAnswerMac[i]) {
            return false;
        }
    }
    return true;
}

std::optional<AddressRange> DefaultRange(std::string_view address, std::string_view mask)
{
    const auto a = ParseIpv4(address);
    const auto m = ParseIpv4(mask);
    if (!a || !m || *m == 0) {
        return std::nullopt;
    }
    int trailingZeros = 0;
    while (((*m >> trailingZeros) & 1u) == 0) {
        ++trailingZeros;
    }
    AddressRange range;
    range.start = (*a & *m) + 1;
    // 2^n - 2 wraps to "one below start" for a /32, as the walk expects.
    range.end = range.start + static_cast<std::uint32_t>((std::uint64_t{1} << trailingZeros) - 2);
    return range;
}

std::optional<AddressRange> ParseCidr(std::string_view text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto address = ParseDottedQuad(text.substr(0, slash));
    const std::string_view prefixText = text.substr(slash + 1);
    if (!address || prefixText.empty() || prefixText.size() > 2 ||
        prefixText.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const int prefix = std::stoi(std::string(prefixText));
    if (prefix > 32) {
        return std::nullopt;
    }
    const std::uint32_t mask = prefix == 0 ? 0u : ~std::uint32_t{0} << (32 - prefix);
    const std::uint32_t network = *address & mask;
    const std::uint32_t broadcast = network | ~mask;
    if (prefix >= 31) {
        return AddressRange{network, broadcast};
    }
    return AddressRange{network + 1, broadcast - 1};
}

} // namespace tessvale
