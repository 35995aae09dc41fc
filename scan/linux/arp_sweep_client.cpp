#include "scan/linux/arp_sweep_client.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "common/paths.h"

namespace tessvale {

namespace {

bool SendRecord(int fd, const ArpSweepRecord& record)
{
    for (;;) {
        const ssize_t sent = ::send(fd, record.data(), record.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == static_cast<ssize_t>(record.size())) {
            return true;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        // A full socket buffer loses this request like a frame lost on the wire (the
        // sweep's retry covers it); a record cut in two would end the session, so the
        // stream socket's whole-or-nothing send of 16 bytes is relied on.
        return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void Reap(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

std::unique_ptr<ArpSweepClient> ArpSweepClient::Start(const std::string& program, std::uint32_t interfaceIndex,
                                                      std::uint32_t rate, std::chrono::milliseconds wait)
{
    if (program.empty()) {
        return nullptr;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return nullptr;
    }
    UniqueFd ours(pair[0]);
    UniqueFd theirs(pair[1]);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return nullptr;
    }
    (void)posix_spawn_file_actions_adddup2(&actions, theirs.Get(), STDIN_FILENO);
    (void)posix_spawn_file_actions_adddup2(&actions, theirs.Get(), STDOUT_FILENO);
    (void)posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::array<char*, 2> argv{const_cast<char*>("arp-sweep"), nullptr};
    std::array<char*, 1> environment{nullptr};
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environment.data());
    (void)posix_spawn_file_actions_destroy(&actions);
    (void)theirs.Close();
    if (spawned != 0) {
        return nullptr;
    }
    std::unique_ptr<ArpSweepClient> client(new ArpSweepClient(std::move(ours), child));
    if (!SendRecord(client->Fd(), EncodeArpSweepOpen(interfaceIndex, rate))) {
        return nullptr;
    }
    // The first record says whether it may work: ready, or why not.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd polled{client->Fd(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&polled, 1, static_cast<int>(left.count())) <= 0) {
            return nullptr;
        }
        std::array<std::uint8_t, kArpSweepRecordSize> bytes{};
        const ssize_t got = ::recv(client->Fd(), bytes.data(), bytes.size(), MSG_DONTWAIT);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return nullptr;
        }
        client->m_reader.Append(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(got)));
        if (const auto record = client->m_reader.Next()) {
            const auto reply = DecodeArpSweepReply(*record);
            if (!reply || reply->kind != ArpSweepReply::Kind::Ready) {
                return nullptr;
            }
            return client;
        }
    }
}

ArpSweepClient::~ArpSweepClient()
{
    // The end of its input ends the helper; one that does not leave at once is stopped.
    (void)::shutdown(m_socket.Get(), SHUT_WR);
    pollfd polled{m_socket.Get(), POLLIN, 0};
    std::array<std::uint8_t, 4096> drain{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ::poll(&polled, 1, static_cast<int>(left.count())) <= 0) {
            (void)::kill(m_child, SIGKILL);
            break;
        }
        if (::recv(m_socket.Get(), drain.data(), drain.size(), MSG_DONTWAIT) == 0) {
            break;
        }
    }
    Reap(m_child);
}

bool ArpSweepClient::Probe(std::uint32_t address)
{
    if (m_alive && !SendRecord(m_socket.Get(), EncodeArpSweepProbe(address))) {
        m_alive = false;
    }
    return m_alive;
}

bool ArpSweepClient::Read(std::vector<Answer>& answers)
{
    std::array<std::uint8_t, 4096> bytes{};
    while (m_alive) {
        const ssize_t got = ::recv(m_socket.Get(), bytes.data(), bytes.size(), MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break; // nothing more now
        }
        if (got == 0) {
            m_alive = false;
            break;
        }
        m_reader.Append(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(got)));
        while (const auto record = m_reader.Next()) {
            const auto reply = DecodeArpSweepReply(*record);
            if (!reply || reply->kind != ArpSweepReply::Kind::Answer) {
                m_alive = false; // an error record ends the session
                break;
            }
            answers.push_back(Answer{reply->address, reply->mac});
        }
    }
    return m_alive;
}

std::string FindArpSweepHelper()
{
    return CompanionProgramPath("arp-sweep");
}

} // namespace tessvale
