// The answers of the name probes come from whoever sends to the sweep's sockets: a
// host's mDNS responder or a name server. The reader must stay inside the message,
// end on every chain of compression pointers, and give only names of legal labels;
// the probe's bookkeeping must take only answers to its own questions.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "scan/dns_message.h"
#include "scan/name_probe.h"

namespace {

using tessvale::fuzz::Require;

constexpr std::uint32_t kHost = 0xC6120005;   // 198.18.0.5
constexpr std::uint32_t kServer = 0xC6120035; // 198.18.0.53

void CheckName(const tessvale::DnsName& name)
{
    std::size_t wire = 1;
    for (const auto& label : name) {
        Require(!label.empty() && label.size() <= tessvale::kDnsMaxLabelBytes, "a label of an illegal length");
        wire += 1 + label.size();
    }
    Require(wire <= tessvale::kDnsMaxNameBytes, "a name over 255 bytes");
}

void CheckAnswer(std::span<const std::uint8_t> message, std::uint16_t id, const tessvale::DnsName& question)
{
    const auto answer = tessvale::ReadDnsAnswer(message, id, question, tessvale::kDnsTypePtr);
    Require(answer.targets.size() <= tessvale::kMaxDnsTargets, "more targets than the bound");
    Require(answer.status == tessvale::DnsAnswerStatus::Answer || answer.targets.empty(), "targets of a non-answer");
    if (answer.status != tessvale::DnsAnswerStatus::Answer && answer.status != tessvale::DnsAnswerStatus::NoName &&
        answer.status != tessvale::DnsAnswerStatus::Failure) {
        return;
    }
    Require(message.size() >= tessvale::kDnsHeaderSize, "an answer shorter than a header");
    Require(((message[0] << 8) | message[1]) == id, "an answer with another id");
    for (const auto& target : answer.targets) {
        CheckName(target);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> message(data, size);
    const auto question = tessvale::ReadDnsQuestion(message);
    if (question) {
        CheckName(question->name);
        // The message read as the answer to its own question: the deepest path.
        CheckAnswer(message, question->id, question->name);
    }
    const auto reverse = *tessvale::SplitDnsName(tessvale::ReverseName(kHost));
    CheckAnswer(message, size >= 2 ? static_cast<std::uint16_t>((data[0] << 8) | data[1]) : 0, reverse);

    // The probe's bookkeeping: the datagram as the host's mDNS answer and as the
    // server's DNS answer, whatever its id.
    tessvale::NameSettings settings;
    settings.servers = {kServer};
    tessvale::NameProbe probe(settings);
    std::vector<std::vector<std::uint8_t>> sent;
    const auto send = [&sent](std::uint32_t, std::uint16_t, std::span<const std::uint8_t> bytes) {
        sent.emplace_back(bytes.begin(), bytes.end());
        return true;
    };
    tessvale::HostNameQueries queries;
    probe.Ask(kHost, queries, send);
    Require(sent.size() == 2, "not two queries for a host");
    // Twice: the service types are asked once the name query is answered.
    for (int round = 0; round < 2 && size >= 2; ++round) {
        // Give the message the ids of the queries, so that the reader goes past the id.
        for (const std::uint16_t id : {queries.mdnsNameId, queries.mdnsServicesId, queries.dnsId}) {
            std::vector<std::uint8_t> copy(data, data + size);
            copy[0] = static_cast<std::uint8_t>(id >> 8);
            copy[1] = static_cast<std::uint8_t>(id & 0xFF);
            for (const std::uint16_t port : {tessvale::kMdnsPort, tessvale::kDnsPort}) {
                const std::uint32_t from = port == tessvale::kMdnsPort ? kHost : kServer;
                std::uint32_t host = 0;
                if (probe.HostOf(from, port, copy, host)) {
                    (void)probe.Take(host, from, port, false, copy, queries, send);
                }
            }
        }
    }
    Require(queries.mdnsNameFound.size() <= tessvale::kDnsMaxNameBytes, "an mDNS name over 255 bytes");
    Require(queries.dnsNameFound.size() <= tessvale::kDnsMaxNameBytes, "a DNS name over 255 bytes");
    Require(queries.services.size() <= 32, "more service types than the bound");
    Require(sent.size() <= 3, "more queries than the name, the service types and one server");
    return 0;
}
