#include "fakes/local_http_server.h"

#include <chrono>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tessvale::test {

LocalHttpServer::LocalHttpServer(const std::vector<std::string>& arguments)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        m_error = "pipe failed";
        return;
    }
    const std::string script = std::string(TESSVALE_SOURCE_DIR) + "/tests/fakes/http_test_server.py";
    std::vector<std::string> argv{"python3", script};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    for (const std::string& argument : arguments) {
        m_tls = m_tls || argument == "--cert";
    }
    std::vector<char*> raw;
    raw.reserve(argv.size() + 1);
    for (std::string& argument : argv) {
        raw.push_back(argument.data());
    }
    raw.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const int spawned = posix_spawnp(&m_pid, "python3", &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(pipeFds[0]);
        m_error = "python3 could not be started";
        return;
    }
    // The first line is the port.
    std::string line;
    pollfd waitFor{pipeFds[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&waitFor, 1, 15000) > 0) {
        char buffer[64];
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        line.append(buffer, static_cast<size_t>(got));
    }
    ::close(pipeFds[0]);
    m_port = std::atoi(line.c_str());
    if (m_port == 0) {
        m_error = "the test server did not report its port";
    }
}

LocalHttpServer::~LocalHttpServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

std::string LocalHttpServer::BaseUrl() const
{
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

} // namespace tessvale::test
