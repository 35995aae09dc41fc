// The NetBIOS node-status answer comes from whoever answers on UDP port 137 of a scanned
// address. The reader must accept only answers whose name table and unit id lie inside
// the datagram, and the row it fills must keep to its field sizes. Every datagram is
// read under a UTF-8 locale and under the plain C locale (names go through iconv there).
#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/text_util.h"
#include "fuzz_support.h"
#include "scan/address_forms.h"
#include "scan/host_record.h"
#include "scan/netbios_packet.h"

namespace {

using tessvale::fuzz::Require;

constexpr std::size_t kNameTableOffset = 57;
constexpr std::size_t kNameEntrySize = 18;
constexpr std::size_t kUnitIdSize = 6;
constexpr char kArpMac[] = "02:00:5E:10:20:30";

void CheckOne(std::span<const std::uint8_t> datagram)
{
    const auto answer = tessvale::ParseNodeStatusAnswer(datagram);
    if (!answer) {
        return;
    }
    Require(answer->nameCount >= 0 && answer->nameCount <= 255, "name count outside one byte");
    const std::size_t end =
        kNameTableOffset + kNameEntrySize * static_cast<std::size_t>(answer->nameCount) + kUnitIdSize;
    Require(end <= datagram.size(), "accepted an answer whose unit id lies past the datagram");
    Require(std::equal(answer->unitId.begin(), answer->unitId.end(),
                       datagram.begin() + static_cast<std::ptrdiff_t>(end - kUnitIdSize)),
            "unit id not taken from behind the name table");
    Require(answer->nameCount > 0 || answer->firstName.empty(), "a name from an empty name table");
    Require(answer->firstName.empty() || answer->firstName.back() != ' ', "trailing blank left on the name");

    for (const bool arpKnows : {false, true}) {
        std::string mac = "unchanged";
        std::string hostName = "-";
        const int taken = tessvale::TakeNodeStatusAnswer(*answer, mac, hostName, [arpKnows](std::string& arpMac) {
            if (arpKnows) {
                arpMac = kArpMac;
            }
            return arpKnows;
        });
        if (taken == 0) {
            Require(mac == "unchanged" && hostName == "-", "a refused answer changed the row");
            continue;
        }
        Require(taken == 1, "an answer counted other than 0 or 1");
        Require(!tessvale::IsNoAnswerMac(mac), "the no-answer MAC counted as an answer");
        Require(mac.size() == 17, "MAC text not six pairs");
        Require(tessvale::CharCount(hostName) < tessvale::HostRecord::kHostNameCapacity, "host name over capacity");
        if (answer->nameCount == 0) {
            Require(hostName == "-", "an empty name table replaced the host name");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Switched per thread with uselocale, which is far cheaper than setlocale per input.
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    static const locale_t plain = ::newlocale(LC_CTYPE_MASK, "C", nullptr);
    Require(utf8 != nullptr && plain != nullptr, "the locales cannot be made");
    const std::span<const std::uint8_t> datagram(data, size);
    ::uselocale(utf8);
    CheckOne(datagram);
    ::uselocale(plain);
    CheckOne(datagram);
    ::uselocale(LC_GLOBAL_LOCALE);
    return 0;
}
