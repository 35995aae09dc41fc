// The arguments of the lookups "-m", "-i" and "-w" come from whoever starts the
// program. Every input is read as each of the three; what is accepted must be a range
// in order within the cap and a MAC of six bytes, and must read the same again from
// its own text form; what is refused must say why in one line a terminal shows as it is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/logic/command_line_lookup.h"
#include "fuzz_support.h"
#include "scan/address_forms.h"

namespace {

using tessvale::LookupRequest;
using tessvale::LookupSwitch;
using tessvale::fuzz::Require;

void Check(LookupSwitch which, std::string_view argument)
{
    LookupRequest request;
    std::string error;
    if (!tessvale::ParseLookupArguments(which, argument, request, error)) {
        Require(!error.empty(), "a refusal without a reason");
        for (const char c : error) {
            Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a control character in a message");
        }
        return;
    }
    Require(request.which == which, "the request names another lookup");
    std::string again;
    if (which != LookupSwitch::IpToMac) {
        Require(tessvale::ParseMac(request.mac).has_value(), "an accepted MAC that is no MAC");
        again = request.mac + " ";
    }
    if (which != LookupSwitch::Wake) {
        Require(request.range.first <= request.range.last, "an accepted range is reversed");
        Require(std::uint64_t{request.range.last} - request.range.first < tessvale::kMaxRangeAddresses,
                "an accepted range beyond the cap");
        again += tessvale::FormatIpv4(request.range.first) + " " + tessvale::FormatIpv4(request.range.last);
    }
    LookupRequest reread;
    std::string rereadError;
    Require(tessvale::ParseLookupArguments(which, again, reread, rereadError),
            "an accepted request does not read again");
    Require(reread.mac == request.mac && reread.range.first == request.range.first &&
                reread.range.last == request.range.last,
            "an accepted request reads differently from its own text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view argument(reinterpret_cast<const char*>(data), size);
    for (const LookupSwitch which : {LookupSwitch::Wake, LookupSwitch::IpToMac, LookupSwitch::MacToIp}) {
        Check(which, argument);
    }
    // As the whole command line: the switch found, or none.
    const LookupSwitch found = tessvale::MatchLookupSwitch(argument);
    if (found != LookupSwitch::None) {
        Check(found, argument.size() > 2 ? argument.substr(2) : std::string_view());
    }
    return 0;
}
