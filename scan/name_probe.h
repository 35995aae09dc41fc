// The name probes of a sweep beside NetBIOS: for a host that answered, a one-shot
// unicast mDNS query straight to its UDP port 5353 (RFC 6762 section 5.5; the host
// answers by unicast to the query's source port) for the PTR record of its reverse
// name, once that is answered one more for its DNS-SD service types (RFC 6763
// section 9), and a reverse lookup of
// the same name through the resolver's name servers. Queries leave through the
// sweep's own sockets and their answers arrive in its poll loop, so one deadline
// covers every host and no thread waits for one answer.
//
// This file holds only the bookkeeping: which query is out, which answer belongs to
// it and what it said. Answers come only from where the query went (the host itself,
// or the name server asked), with the query's id and question.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "scan/dns_message.h"
#include "scan/host_record.h"

namespace tessvale {

struct NameSettings
{
    bool netbios = true; // the node-status answer's name counts (the query runs anyway, for the MAC)
    bool mdns = true;
    bool dns = true;
    std::vector<std::uint32_t> servers; // the resolver's name servers, host order; none: no DNS lookup
    std::uint16_t mdnsPort = kMdnsPort;
    std::uint16_t dnsPort = kDnsPort;
};

// The name queries of one host.
struct HostNameQueries
{
    enum class State : std::uint8_t
    {
        NotAsked,
        Waiting,
        Done,
    };
    bool asked = false;
    State mdnsName = State::NotAsked;
    State mdnsServices = State::NotAsked;
    State dns = State::NotAsked;
    std::uint16_t mdnsNameId = 0;
    std::uint16_t mdnsServicesId = 0;
    std::uint16_t dnsId = 0;
    std::size_t server = 0; // the name server the DNS query went to
    std::string mdnsNameFound;
    std::string dnsNameFound;
    std::vector<std::string> services;

    // True when no query waits for its answer.
    bool Settled() const
    {
        return mdnsName != State::Waiting && mdnsServices != State::Waiting && dns != State::Waiting;
    }
};

class NameProbe
{
public:
    // Sends one datagram from the sweep's sockets; false when it could not be sent.
    using Send = std::function<bool(std::uint32_t address, std::uint16_t port, std::span<const std::uint8_t>)>;

    explicit NameProbe(NameSettings settings);

    const NameSettings& Settings() const { return m_settings; }

    // Sends the queries for the host (once per host; a later call does nothing).
    void Ask(std::uint32_t host, HostNameQueries& queries, const Send& send);

    // The host a datagram from (or, refused, an ICMP error for a datagram to) this
    // address and port concerns: for mDNS the sender itself, for DNS the host the
    // question names when the sender is a configured server. False for anything else.
    bool HostOf(std::uint32_t from, std::uint16_t port, std::span<const std::uint8_t> datagram,
                std::uint32_t& host) const;

    // Takes the datagram (or the refusal) for the host's queries; a name server that
    // fails or refuses passes the lookup on to the next one. True when a query ended.
    bool Take(std::uint32_t host, std::uint32_t from, std::uint16_t port, bool refused,
              std::span<const std::uint8_t> datagram, HostNameQueries& queries, const Send& send);

private:
    std::uint16_t NextId();
    bool SendDns(std::uint32_t host, HostNameQueries& queries, const Send& send);
    bool TakeMdns(std::uint32_t host, bool refused, std::span<const std::uint8_t> datagram, HostNameQueries& queries,
                  const Send& send);
    bool TakeDns(std::uint32_t host, std::uint32_t from, bool refused, std::span<const std::uint8_t> datagram,
                 HostNameQueries& queries, const Send& send);

    NameSettings m_settings;
    std::mt19937 m_random;
};

// The service type of a DNS-SD type name: "_ipp._tcp" of "_ipp._tcp.local".
std::string ServiceTypeOf(const DnsName& name);

} // namespace tessvale
