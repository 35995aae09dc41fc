#include "common/dotted_quad.h"

namespace tessvale {

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text)
{
    std::uint32_t address = 0;
    int octets = 0;
    std::size_t i = 0;
    while (octets < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        unsigned value = 0;
        int digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            if (++digits > 3 || value > 255) {
                return std::nullopt;
            }
            ++i;
        }
        address = (address << 8) | value;
        ++octets;
        if (octets < 4) {
            if (i >= text.size() || text[i] != '.') {
                return std::nullopt;
            }
            ++i;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return address;
}

} // namespace tessvale
