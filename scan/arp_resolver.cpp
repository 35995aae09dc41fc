#include "scan/arp_resolver.h"

#include <thread>

#include <linux/neighbour.h>

namespace tessvale {

namespace {

enum class Lookup
{
    Answer,
    Pending, // no entry, or the kernel is still resolving
    NoAnswer
};

Lookup Check(NeighbourTable& table, std::uint32_t address, std::string& mac, bool pendingIsFinal)
{
    const auto entry = table.Find(address);
    if (!entry) {
        return Lookup::Pending;
    }
    if ((entry->state & (NUD_INCOMPLETE | NUD_FAILED)) == 0 && entry->mac) {
        const std::string text = FormatMac(*entry->mac);
        if (IsNoAnswerMac(text)) {
            return Lookup::NoAnswer;
        }
        mac = text;
        return Lookup::Answer;
    }
    if ((entry->state & NUD_FAILED) != 0 || pendingIsFinal) {
        return Lookup::NoAnswer;
    }
    return Lookup::Pending;
}

} // namespace

int ResolveByArp(std::string& mac, const std::string& address, NeighbourTable& table, const ArpTiming& timing)
{
    const auto value = ParseIpv4(address);
    if (!value || !table.OnLink(*value)) {
        return 0;
    }
    // An entry that someone else is resolving right now (the NetBIOS query just sent a
    // datagram) or that has failed answers "no" at once: waiting would only double the
    // cost of a silent address.
    Lookup result = Check(table, *value, mac, true);
    if (result != Lookup::Pending) {
        return result == Lookup::Answer ? 1 : 0;
    }
    table.Trigger(*value);
    const auto deadline = std::chrono::steady_clock::now() + timing.recheck;
    for (;;) {
        result = Check(table, *value, mac, false);
        if (result != Lookup::Pending) {
            return result == Lookup::Answer ? 1 : 0;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return 0;
        }
        std::this_thread::sleep_for(timing.poll);
    }
}

int ResolveByArp(std::string& mac, const std::string& address)
{
    return ResolveByArp(mac, address, SystemNeighbourTable());
}

} // namespace tessvale
