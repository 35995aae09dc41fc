#include "scan/name_probe.h"

#include <algorithm>

#include "common/text_util.h"

namespace tessvale {

namespace {

// Service types kept per host; a responder that lists more is cut there.
constexpr std::size_t kMaxServices = 32;

using State = HostNameQueries::State;

} // namespace

std::string ServiceTypeOf(const DnsName& name)
{
    // "_type._proto.local": the first two labels are the type.
    if (name.size() == 3 && EqualsNoCase(name[2], "local") && !name[0].empty() && name[0][0] == '_') {
        return name[0] + "." + name[1];
    }
    return DnsNameText(name);
}

NameProbe::NameProbe(NameSettings settings) : m_settings(std::move(settings)), m_random(std::random_device{}())
{
    if (m_settings.servers.size() > 3) {
        m_settings.servers.resize(3);
    }
}

std::uint16_t NameProbe::NextId()
{
    return static_cast<std::uint16_t>(m_random());
}

void NameProbe::Ask(std::uint32_t host, HostNameQueries& queries, const Send& send)
{
    if (queries.asked) {
        return;
    }
    queries.asked = true;
    const std::string reverse = ReverseName(host);
    if (m_settings.mdns) {
        queries.mdnsNameId = NextId();
        const auto name = BuildDnsQuery(queries.mdnsNameId, reverse, kDnsTypePtr, false);
        queries.mdnsName = send(host, m_settings.mdnsPort, name) ? State::Waiting : State::Done;
        // The service types are asked once a responder has answered: a host without
        // one then costs one datagram (and one ICMP error) less.
        queries.mdnsServices = queries.mdnsName == State::Waiting ? State::NotAsked : State::Done;
    }
    if (m_settings.dns && !m_settings.servers.empty()) {
        queries.server = 0;
        queries.dns = SendDns(host, queries, send) ? State::Waiting : State::Done;
    }
}

bool NameProbe::SendDns(std::uint32_t host, HostNameQueries& queries, const Send& send)
{
    while (queries.server < m_settings.servers.size()) {
        queries.dnsId = NextId();
        const auto query = BuildDnsQuery(queries.dnsId, ReverseName(host), kDnsTypePtr, true);
        if (send(m_settings.servers[queries.server], m_settings.dnsPort, query)) {
            return true;
        }
        ++queries.server;
    }
    return false;
}

bool NameProbe::HostOf(std::uint32_t from, std::uint16_t port, std::span<const std::uint8_t> datagram,
                       std::uint32_t& host) const
{
    if (m_settings.mdns && port == m_settings.mdnsPort) {
        host = from;
        return true;
    }
    if (!m_settings.dns || port != m_settings.dnsPort ||
        std::find(m_settings.servers.begin(), m_settings.servers.end(), from) == m_settings.servers.end()) {
        return false;
    }
    const auto question = ReadDnsQuestion(datagram);
    if (!question || question->type != kDnsTypePtr) {
        return false;
    }
    const auto address = ParseReverseName(question->name);
    if (!address) {
        return false;
    }
    host = *address;
    return true;
}

bool NameProbe::Take(std::uint32_t host, std::uint32_t from, std::uint16_t port, bool refused,
                     std::span<const std::uint8_t> datagram, HostNameQueries& queries, const Send& send)
{
    if (m_settings.mdns && port == m_settings.mdnsPort) {
        // Only the asked host answers its own unicast query.
        return from == host && TakeMdns(host, refused, datagram, queries, send);
    }
    if (m_settings.dns && port == m_settings.dnsPort) {
        return TakeDns(host, from, refused, datagram, queries, send);
    }
    return false;
}

bool NameProbe::TakeMdns(std::uint32_t host, bool refused, std::span<const std::uint8_t> datagram,
                         HostNameQueries& queries, const Send& send)
{
    if (refused) {
        // Nothing listens on the host's mDNS port: neither query will be answered.
        const bool waiting = queries.mdnsName == State::Waiting || queries.mdnsServices == State::Waiting;
        for (State* state : {&queries.mdnsName, &queries.mdnsServices}) {
            if (*state == State::Waiting) {
                *state = State::Done;
            }
        }
        return waiting;
    }
    const auto question = ReadDnsQuestion(datagram);
    if (!question || !question->response) {
        return false;
    }
    if (queries.mdnsName == State::Waiting && question->id == queries.mdnsNameId) {
        const auto reverse = SplitDnsName(ReverseName(host));
        const DnsAnswer answer = ReadDnsAnswer(datagram, queries.mdnsNameId, *reverse, kDnsTypePtr);
        if (answer.status == DnsAnswerStatus::Malformed || answer.status == DnsAnswerStatus::NotOurs) {
            return false; // the real answer may still come
        }
        if (!answer.targets.empty()) {
            queries.mdnsNameFound = DnsNameText(answer.targets.front());
        }
        queries.mdnsName = State::Done;
        if (queries.mdnsServices == State::NotAsked) {
            // Another id, so that each answer is matched to its own question.
            queries.mdnsServicesId = static_cast<std::uint16_t>(queries.mdnsNameId + 1);
            const auto services = BuildDnsQuery(queries.mdnsServicesId, kDnsSdServicesName, kDnsTypePtr, false);
            queries.mdnsServices = send(host, m_settings.mdnsPort, services) ? State::Waiting : State::Done;
        }
        return true;
    }
    if (queries.mdnsServices == State::Waiting && question->id == queries.mdnsServicesId) {
        const auto services = SplitDnsName(kDnsSdServicesName);
        const DnsAnswer answer = ReadDnsAnswer(datagram, queries.mdnsServicesId, *services, kDnsTypePtr);
        if (answer.status == DnsAnswerStatus::Malformed || answer.status == DnsAnswerStatus::NotOurs) {
            return false;
        }
        for (const DnsName& target : answer.targets) {
            std::string type = ServiceTypeOf(target);
            if (queries.services.size() < kMaxServices &&
                std::find(queries.services.begin(), queries.services.end(), type) == queries.services.end()) {
                queries.services.push_back(std::move(type));
            }
        }
        queries.mdnsServices = State::Done;
        return true;
    }
    return false;
}

bool NameProbe::TakeDns(std::uint32_t host, std::uint32_t from, bool refused, std::span<const std::uint8_t> datagram,
                        HostNameQueries& queries, const Send& send)
{
    if (queries.dns != State::Waiting || queries.server >= m_settings.servers.size() ||
        from != m_settings.servers[queries.server]) {
        return false; // only the server asked last answers
    }
    const auto question = ReadDnsQuestion(datagram);
    if (!question || question->id != queries.dnsId) {
        return false;
    }
    bool failed = refused;
    if (!refused) {
        if (!question->response) {
            return false;
        }
        const auto reverse = SplitDnsName(ReverseName(host));
        const DnsAnswer answer = ReadDnsAnswer(datagram, queries.dnsId, *reverse, kDnsTypePtr);
        if (answer.status == DnsAnswerStatus::Malformed || answer.status == DnsAnswerStatus::NotOurs) {
            return false;
        }
        if (answer.status == DnsAnswerStatus::Answer || answer.status == DnsAnswerStatus::NoName) {
            if (!answer.targets.empty()) {
                queries.dnsNameFound = DnsNameText(answer.targets.front());
            }
            queries.dns = State::Done;
            return true;
        }
        failed = true;
    }
    if (failed) {
        // This server cannot answer: the next one is asked, within the same deadline.
        ++queries.server;
        if (!SendDns(host, queries, send)) {
            queries.dns = State::Done;
            return true;
        }
    }
    return false;
}

} // namespace tessvale
