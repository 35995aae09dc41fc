// The namespace test network of scripts/testnet for tests labelled network: brought
// up per test process, torn down at its end; namespaces are entered per thread.
#pragma once

#include <cstdio>
#include <fstream>
#include <map>
#include <sched.h>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tessvale::test {

struct NetworkHost
{
    std::string ip;
    std::string mac;  // upper case, colons
    std::string name; // "-" for ARP-only hosts
    bool netbios = false;
};

// Runs a shell command and returns what it printed on stdout.
inline std::string RunCommand(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t count;
        while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, count);
        }
        pclose(pipe);
    }
    return output;
}

class TestNetwork
{
public:
    // Brings the network up with the script's options; false with the reason in Error().
    bool Up(const std::string& options)
    {
        if (geteuid() != 0) {
            m_error = "the test network needs root (network namespaces)";
            return false;
        }
        const std::string script = std::string(TESSVALE_SOURCE_DIR) + "/scripts/testnet";
        std::string output = RunCommand(script + " up " + options + " 2>&1");
        while (!output.empty() && output.back() == '\n') {
            output.pop_back();
        }
        const std::size_t lastLine = output.rfind('\n');
        const std::string folder = lastLine == std::string::npos ? output : output.substr(lastLine + 1);
        std::ifstream env(folder + "/env");
        if (folder.empty() || folder[0] != '/' || !env) {
            m_error = "testnet up failed: " + output;
            return false;
        }
        m_folder = folder;
        std::string line;
        while (std::getline(env, line)) {
            const std::size_t equals = line.find('=');
            if (equals != std::string::npos) {
                m_env[line.substr(0, equals)] = line.substr(equals + 1);
            }
        }
        std::ifstream hosts(folder + "/hosts.txt");
        while (std::getline(hosts, line)) {
            std::istringstream fields(line);
            NetworkHost host;
            std::string kind;
            fields >> host.ip >> host.mac >> host.name >> kind;
            host.netbios = kind == "netbios";
            m_hosts.push_back(host);
        }
        std::ifstream silent(folder + "/silent.txt");
        while (std::getline(silent, line)) {
            m_silent.push_back(line);
        }
        return true;
    }

    void Down()
    {
        if (!m_folder.empty()) {
            RunCommand(std::string(TESSVALE_SOURCE_DIR) + "/scripts/testnet down " + m_folder + " 2>&1");
            m_folder.clear();
        }
    }

    ~TestNetwork() { Down(); }

    const std::string& Error() const { return m_error; }
    std::string Env(const std::string& key) const
    {
        const auto it = m_env.find(key);
        return it == m_env.end() ? std::string() : it->second;
    }
    const std::vector<NetworkHost>& Hosts() const { return m_hosts; }
    const std::vector<std::string>& Silent() const { return m_silent; }

private:
    std::string m_folder;
    std::string m_error;
    std::map<std::string, std::string> m_env;
    std::vector<NetworkHost> m_hosts;
    std::vector<std::string> m_silent;
};

// Moves the calling thread into a named network namespace for its lifetime. Sockets
// keep the namespace they were created in.
class NamespaceScope
{
public:
    explicit NamespaceScope(const std::string& name)
    {
        m_home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        m_entered = m_home >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) {
            close(target);
        }
    }
    ~NamespaceScope()
    {
        if (m_entered) {
            setns(m_home, CLONE_NEWNET);
        }
        if (m_home >= 0) {
            close(m_home);
        }
    }
    NamespaceScope(const NamespaceScope&) = delete;
    NamespaceScope& operator=(const NamespaceScope&) = delete;
    bool Entered() const { return m_entered; }

private:
    int m_home = -1;
    bool m_entered = false;
};

// The MAC of the scanner's neighbour entry for an address as `ip neigh` shows it,
// upper case; empty when it lists none.
inline std::string NeighbourMac(const std::string& scannerNamespace, const std::string& address)
{
    std::istringstream output(RunCommand("ip -n " + scannerNamespace + " neigh show " + address));
    std::string word;
    while (output >> word) {
        if (word == "lladdr" && output >> word) {
            for (char& c : word) {
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            }
            return word;
        }
    }
    return {};
}

// A fixture whose tests share one test network, brought up once for the suite with
// Suite::kNetworkOptions. Without it (no root, a failed set-up) every test skips with
// the reason.
template <class Suite> class NetworkSuite : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_network = new TestNetwork;
        if (!s_network->Up(Suite::kNetworkOptions)) {
            s_skipReason = s_network->Error();
        }
    }
    static void TearDownTestSuite()
    {
        delete s_network;
        s_network = nullptr;
    }
    void SetUp() override
    {
        if (!s_skipReason.empty()) {
            GTEST_SKIP() << s_skipReason;
        }
    }
    static const TestNetwork& Network() { return *s_network; }
    static std::string Scanner() { return s_network->Env("SCANNER_NS"); }

    static inline TestNetwork* s_network = nullptr;
    static inline std::string s_skipReason;
};

} // namespace tessvale::test
