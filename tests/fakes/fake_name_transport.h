// Name responders for a FakeSweepTransport: mDNS hosts and name servers that answer the
// sweep's name queries as scripted, refuse them (port unreachable), swallow them, or
// answer from elsewhere or with another id.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/dns_answer_bytes.h"
#include "fakes/fake_sweep_transport.h"
#include "scan/dns_message.h"

namespace tessvale::fakes {

// What answers a datagram of the name probes sent to one address and port.
struct Responder
{
    bool refuses = false;      // port unreachable
    std::uint32_t from = 0;    // the answer's sender; 0: the asked address
    std::uint16_t idDelta = 0; // added to the answer's id (a forged answer)
    std::function<std::optional<std::vector<std::uint8_t>>(const DnsQuestionRead& query)> answer;
};

struct NameNet
{
    std::map<std::pair<std::uint32_t, std::uint16_t>, Responder> responders;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> sent;
};

class NameTransport final : public FakeSweepTransport
{
public:
    NameTransport(FakeSweepState& state, ManualClock& clock, NameNet& net)
        : FakeSweepTransport(state, clock), m_state(state), m_net(net)
    {}

    bool SendName(std::uint32_t address, std::uint16_t port, std::span<const std::uint8_t> message) override
    {
        std::lock_guard lock(m_state.mutex);
        m_net.sent.emplace_back(address, port);
        const auto found = m_net.responders.find({address, port});
        if (found == m_net.responders.end()) {
            return true; // swallowed
        }
        const Responder& responder = found->second;
        SweepAnswer answer;
        answer.port = port;
        answer.address = responder.from != 0 ? responder.from : address;
        if (responder.refuses) {
            answer.kind = SweepAnswer::Kind::NameRefused;
            answer.datagram.assign(message.begin(), message.end());
            m_state.injected.push_back(std::move(answer));
            return true;
        }
        const auto query = ReadDnsQuestion(message);
        if (!query || !responder.answer) {
            return true;
        }
        auto reply = responder.answer(*query);
        if (!reply) {
            return true;
        }
        answer.kind = SweepAnswer::Kind::Name;
        answer.datagram = std::move(*reply);
        const auto id = static_cast<std::uint16_t>(query->id + responder.idDelta);
        answer.datagram[0] = static_cast<std::uint8_t>(id >> 8);
        answer.datagram[1] = static_cast<std::uint8_t>(id & 0xFF);
        m_state.injected.push_back(std::move(answer));
        return true;
    }

private:
    FakeSweepState& m_state;
    NameNet& m_net;
};

// An mDNS responder: its own name for the reverse question, its service types for the
// DNS-SD question.
inline Responder MdnsHost(const std::string& name, const std::vector<std::string>& services = {})
{
    Responder responder;
    responder.answer = [name, services](const DnsQuestionRead& query) -> std::optional<std::vector<std::uint8_t>> {
        const std::string question = DnsNameText(query.name);
        if (question == kDnsSdServicesName) {
            return PtrAnswer(query.id, question, services);
        }
        return PtrAnswer(query.id, question, {name});
    };
    return responder;
}

// A name server that knows some reverse names; NXDOMAIN for the others.
inline Responder NameServer(const std::map<std::uint32_t, std::string>& names, std::uint16_t rcode = 0)
{
    Responder responder;
    responder.answer = [names, rcode](const DnsQuestionRead& query) -> std::optional<std::vector<std::uint8_t>> {
        const std::string question = DnsNameText(query.name);
        const auto address = ParseReverseName(query.name);
        const auto found = address ? names.find(*address) : names.end();
        if (rcode != 0 || found == names.end()) {
            return PtrAnswer(query.id, question, {}, rcode != 0 ? rcode : 3);
        }
        return PtrAnswer(query.id, question, {found->second});
    };
    return responder;
}

} // namespace tessvale::fakes
