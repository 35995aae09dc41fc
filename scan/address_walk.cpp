#include "scan/address_walk.h"

#include <algorithm>
#include <cstdio>

#include "common/checked_output.h"
#include "common/text_util.h"

namespace tessvale {

namespace {

std::uint64_t AddressOf(std::string_view dotted)
{
    std::uint64_t value = 0;
    for (const std::uint32_t octet : SplitOctets(dotted)) {
        value = (value << 8) | std::min<std::uint32_t>(octet, 255);
    }
    return value;
}

} // namespace

std::array<std::uint32_t, 4> SplitOctets(std::string_view dotted)
{
    std::array<std::uint32_t, 4> octets{};
    std::string text(dotted);
    text += '.';
    std::size_t begin = 0;
    for (auto& octet : octets) {
        const std::size_t dot = text.find('.', begin);
        if (dot == std::string::npos) {
            break;
        }
        octet = static_cast<std::uint32_t>(ParseDecimal(std::string_view(text).substr(begin, dot - begin)));
        begin = dot + 1;
    }
    return octets;
}

AddressWalk::AddressWalk(std::string_view start, std::string_view end, std::vector<std::uint32_t> skipped)
    : m_next(AddressOf(start)), m_first(m_next), m_last(AddressOf(end)), m_skipped(std::move(skipped))
{
    std::sort(m_skipped.begin(), m_skipped.end());
    m_skipped.erase(std::unique(m_skipped.begin(), m_skipped.end()), m_skipped.end());
}

bool AddressWalk::Next(std::uint32_t& address)
{
    while (m_next <= m_last) {
        const auto value = static_cast<std::uint32_t>(m_next++);
        if (std::binary_search(m_skipped.begin(), m_skipped.end(), value)) {
            continue;
        }
        address = value;
        return true;
    }
    return false;
}

bool AddressWalk::Next(std::string& address)
{
    std::uint32_t value = 0;
    if (!Next(value)) {
        return false;
    }
    char text[16];
    IgnoreResult(std::snprintf(text, sizeof text, "%u.%u.%u.%u", value >> 24, (value >> 16) & 0xFF, (value >> 8) & 0xFF,
                               value & 0xFF));
    address = text;
    return true;
}

std::uint64_t AddressWalk::Count() const
{
    if (m_first > m_last) {
        return 0;
    }
    const auto inside = std::count_if(m_skipped.begin(), m_skipped.end(),
                                      [this](std::uint32_t value) { return value >= m_first && value <= m_last; });
    return m_last - m_first + 1 - static_cast<std::uint64_t>(inside);
}

} // namespace tessvale
