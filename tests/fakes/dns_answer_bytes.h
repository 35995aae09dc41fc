// DNS messages as name servers and mDNS responders send them, written byte by byte so
// that tests can also write the broken ones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale::fakes {

class DnsBytes
{
public:
    DnsBytes& U8(std::uint8_t value)
    {
        bytes.push_back(value);
        return *this;
    }
    DnsBytes& U16(std::uint16_t value)
    {
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        return *this;
    }
    DnsBytes& U32(std::uint32_t value)
    {
        U16(static_cast<std::uint16_t>(value >> 16));
        return U16(static_cast<std::uint16_t>(value & 0xFFFF));
    }
    // Header: id, flags, then the four counts.
    DnsBytes& Header(std::uint16_t id, std::uint16_t flags, std::uint16_t questions, std::uint16_t answers,
                     std::uint16_t authority = 0, std::uint16_t additional = 0)
    {
        return U16(id).U16(flags).U16(questions).U16(answers).U16(authority).U16(additional);
    }
    // The labels of dotted text, without the final zero byte (so that a pointer may end it).
    DnsBytes& Labels(std::string_view dotted)
    {
        while (!dotted.empty()) {
            const auto dot = dotted.find('.');
            const auto label = dotted.substr(0, dot);
            U8(static_cast<std::uint8_t>(label.size()));
            bytes.insert(bytes.end(), label.begin(), label.end());
            dotted.remove_prefix(dot == std::string_view::npos ? dotted.size() : dot + 1);
        }
        return *this;
    }
    DnsBytes& Name(std::string_view dotted) { return Labels(dotted).U8(0); }
    DnsBytes& Pointer(std::uint16_t offset) { return U16(static_cast<std::uint16_t>(0xC000 | offset)); }
    DnsBytes& Question(std::string_view dotted, std::uint16_t type = 12, std::uint16_t qclass = 1)
    {
        return Name(dotted).U16(type).U16(qclass);
    }
    // A record whose owner is the name at `owner` (a pointer) and whose data is an
    // uncompressed name.
    DnsBytes& NameRecord(std::uint16_t owner, std::uint16_t type, std::string_view target, std::uint16_t rclass = 1)
    {
        Pointer(owner).U16(type).U16(rclass).U32(120);
        U16(static_cast<std::uint16_t>(target.size() + 2));
        return Name(target);
    }
    std::size_t Size() const { return bytes.size(); }

    std::vector<std::uint8_t> bytes;
};

// A response (QR and AA set) to the PTR question with one PTR record per target, the
// owner compressed to the question's name.
inline std::vector<std::uint8_t> PtrAnswer(std::uint16_t id, std::string_view question,
                                           const std::vector<std::string>& targets, std::uint16_t rcode = 0)
{
    DnsBytes message;
    message.Header(id, static_cast<std::uint16_t>(0x8400 | rcode), 1, static_cast<std::uint16_t>(targets.size()));
    message.Question(question);
    for (const auto& target : targets) {
        message.NameRecord(12, 12, target);
    }
    return message.bytes;
}

} // namespace tessvale::fakes
