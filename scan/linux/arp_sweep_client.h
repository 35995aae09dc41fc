// The scanner's end of the ARP sweep helper (scan/arp_sweep_protocol.h): starts the
// helper program for one interface and speaks its protocol over a socket pair. Used when
// the scanner itself may not open a raw packet socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

#include "common/unique_fd.h"
#include "scan/arp_sweep_protocol.h"

namespace tessvale {

class ArpSweepClient
{
public:
    struct Answer
    {
        std::uint32_t address = 0;
        MacAddress mac{};
    };

    // Starts `program` (no shell, an empty environment) and opens it on the interface;
    // nothing when it cannot start, refuses or does not say it is ready within `wait`.
    static std::unique_ptr<ArpSweepClient> Start(const std::string& program, std::uint32_t interfaceIndex,
                                                 std::uint32_t rate, std::chrono::milliseconds wait);
    ~ArpSweepClient();
    ArpSweepClient(const ArpSweepClient&) = delete;
    ArpSweepClient& operator=(const ArpSweepClient&) = delete;

    // The descriptor to poll for answers.
    int Fd() const { return m_socket.Get(); }
    // Asks for one ARP request; false when the helper has gone (it is not asked again).
    bool Probe(std::uint32_t address);
    // Reads the answers that arrived; false when the helper has gone.
    bool Read(std::vector<Answer>& answers);
    bool Alive() const { return m_alive; }

private:
    ArpSweepClient(UniqueFd socket, pid_t child) : m_socket(std::move(socket)), m_child(child) {}

    UniqueFd m_socket;
    pid_t m_child;
    bool m_alive = true;
    ArpSweepRecordReader m_reader;
};

// Where the helper of this installation lies: beside the program in
// ../libexec/tessvale/arp-sweep (an installed or unpacked package), else beside it (a
// build tree). Empty when there is none.
std::string FindArpSweepHelper();

} // namespace tessvale
