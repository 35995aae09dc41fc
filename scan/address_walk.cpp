#include "scan/address_walk.h"

#include <algorithm>
#include <cstdio>

#include "common/text_util.h"

namespace tessvale {

namespace {

constexpr int kOuterPasses = 255;
constexpr int kLastOctetPasses = 254;

// Passes of a level that starts at `from`, is bounded by `to` and makes at most
// `limit` passes.
std::uint64_t Passes(std::uint32_t from, std::uint32_t to, int limit)
{
    if (from > to) {
        return 0;
    }
    return std::min<std::uint64_t>(std::uint64_t{to} - from + 1, static_cast<std::uint64_t>(limit));
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

AddressWalk::AddressWalk(std::string_view start, std::string_view end)
    : m_start(SplitOctets(start)), m_end(SplitOctets(end)), m_a(m_start[0]), m_b(m_start[1]), m_c(m_start[2]),
      m_d(m_start[3]), m_stage(Stage::Check1), m_hasRange(true)
{}

bool AddressWalk::Next(std::string& address)
{
    for (;;) {
        switch (m_stage) {
        case Stage::Check4:
            if (VisitLastOctet(address)) {
                return true;
            }
            break;
        case Stage::After4:
        case Stage::After3:
        case Stage::After2:
            Ascend();
            break;
        case Stage::End:
            return false;
        default:
            Descend();
            break;
        }
    }
}

void AddressWalk::Descend()
{
    const auto [e1, e2, e3, e4] = m_end;
    switch (m_stage) {
    case Stage::Check1:
        if (m_a > e1 || m_pass1 >= kOuterPasses) {
            m_stage = Stage::End;
            break;
        }
        ++m_pass1;
        m_stage = Stage::Enter2;
        break;
    case Stage::Enter2:
        m_pass2 = 0;
        m_stage = Stage::Check2;
        break;
    case Stage::Check2:
        if (m_b > e2 || m_pass2 >= kOuterPasses) {
            m_stage = Stage::After2;
            break;
        }
        ++m_pass2;
        m_stage = Stage::Enter3;
        break;
    case Stage::Enter3:
        m_pass3 = 0;
        m_stage = Stage::Check3;
        break;
    case Stage::Check3:
        if (m_c > e3 || m_pass3 >= kOuterPasses) {
            m_stage = Stage::After3;
            break;
        }
        ++m_pass3;
        m_stage = Stage::Enter4;
        break;
    case Stage::Enter4:
        m_pass4 = 0;
        m_stage = Stage::Check4;
        break;
    default:
        break;
    }
}

bool AddressWalk::VisitLastOctet(std::string& address)
{
    const std::uint32_t e4 = m_end[3];
    if (m_d > e4 || m_pass4 >= kLastOctetPasses) {
        m_stage = Stage::After4;
        return false;
    }
    ++m_pass4;
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", m_a, m_b, m_c, m_d);
    address = text;
    if (m_d == e4) {
        m_stage = Stage::After4;
    } else {
        ++m_d;
    }
    return true;
}

void AddressWalk::Ascend()
{
    const auto [e1, e2, e3, e4] = m_end;
    switch (m_stage) {
    case Stage::After4:
        if (m_c == e3) {
            m_stage = Stage::After3;
        } else {
            ++m_c;
            m_d = 1;
            m_stage = Stage::Check3;
        }
        break;
    case Stage::After3:
        if (m_b == e2) {
            m_stage = Stage::After2;
        } else {
            ++m_b;
            m_c = 0;
            m_d = 1;
            m_stage = Stage::Check2;
        }
        break;
    case Stage::After2:
        if (m_a == e1) {
            m_stage = Stage::End;
        } else {
            ++m_a;
            m_b = 0;
            m_c = 0;
            m_d = 1;
            m_stage = Stage::Check1;
        }
        break;
    default:
        break;
    }
}

std::uint64_t AddressWalk::Count() const
{
    const auto [s1, s2, s3, s4] = m_start;
    // Plain variables, not a structured binding: clang before 16 cannot capture bindings.
    const std::uint32_t e1 = m_end[0];
    const std::uint32_t e2 = m_end[1];
    const std::uint32_t e3 = m_end[2];
    const std::uint32_t e4 = m_end[3];
    // Addresses of one run of the last level starting at d.
    const auto level4 = [&](std::uint32_t d) { return Passes(d, e4, kLastOctetPasses); };
    // Addresses of one entry of level 3 starting at c, its first run of level 4 at d;
    // later runs start at 1.
    const auto level3 = [&](std::uint32_t c, std::uint32_t d) {
        const std::uint64_t passes = Passes(c, e3, kOuterPasses);
        return passes == 0 ? 0 : level4(d) + (passes - 1) * level4(1);
    };
    const auto level2 = [&](std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        const std::uint64_t passes = Passes(b, e2, kOuterPasses);
        return passes == 0 ? 0 : level3(c, d) + (passes - 1) * level3(0, 1);
    };
    if (!m_hasRange) {
        return 0;
    }
    const std::uint64_t passes = Passes(s1, e1, kOuterPasses);
    return passes == 0 ? 0 : level2(s2, s3, s4) + (passes - 1) * level2(0, 0, 1);
}

} // namespace tessvale
