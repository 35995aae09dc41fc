#include "common/process_launcher.h"

#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "common/paths.h"

extern char** environ;

namespace tessvale {

namespace {

class SpawnFileActions
{
public:
    SpawnFileActions() { m_ok = posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnFileActions()
    {
        if (m_ok) {
            posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    bool Ok() const { return m_ok; }
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ok = false;
};

int WaitForExit(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

} // namespace

bool RunCommandLine(const std::vector<std::string>& argv, const LaunchOptions& options, int* exitCode)
{
    if (argv.empty() || argv.front().empty()) {
        return false;
    }
    SpawnFileActions actions;
    if (!actions.Ok()) {
        return false;
    }
    const std::string folder = options.workingFolder.empty() ? ProgramFolder() : options.workingFolder;
    // The child changes folder itself, so the parent's threads never see a changed cwd.
    if (!folder.empty() && posix_spawn_file_actions_addchdir_np(actions.Get(), folder.c_str()) != 0) {
        return false;
    }
    if (!options.showWindow) {
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
            const int flags = fd == STDIN_FILENO ? O_RDONLY : O_WRONLY;
            if (posix_spawn_file_actions_addopen(actions.Get(), fd, "/dev/null", flags, 0) != 0) {
                return false;
            }
        }
    }

    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);

    pid_t pid = 0;
    const bool searchPath = argv.front().find('/') == std::string::npos;
    const int error = searchPath ? posix_spawnp(&pid, arguments[0], actions.Get(), nullptr, arguments.data(), environ)
                                 : posix_spawn(&pid, arguments[0], actions.Get(), nullptr, arguments.data(), environ);
    if (error != 0) {
        return false;
    }
    if (options.wait) {
        const int code = WaitForExit(pid);
        if (exitCode != nullptr) {
            *exitCode = code;
        }
    } else {
        // Nobody waits for a detached run; this thread collects its exit so that it
        // does not linger as a zombie for the rest of our life.
        try {
            std::thread([pid] { WaitForExit(pid); }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the process still runs, it only stays a zombie when it ends.
        }
    }
    return true;
}

} // namespace tessvale
