#include "common/checked_output.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace tessvale {

bool CheckedOutput::Write(std::string_view bytes)
{
    if (Failed()) {
        return false;
    }
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), m_stream) == bytes.size();
    // The flush is where a full disk or a closed descriptor shows with buffered output.
    if (written && std::fflush(m_stream) == 0) {
        return true;
    }
    // EIO when the library failed without saying why.
    int expected = 0;
    m_error.compare_exchange_strong(expected, errno != 0 ? errno : EIO);
    // Whatever is left in the buffer would only fail again at exit.
    std::clearerr(m_stream);
    return false;
}

std::string WriteErrorMessage(int error)
{
    if (error == EPIPE) {
        return {};
    }
    return "tessvale: write error: " + std::generic_category().message(error);
}

int ReportWriteError(std::FILE* err, int error)
{
    const std::string message = WriteErrorMessage(error);
    if (!message.empty()) {
        IgnoreResult(std::fprintf(err, "%s\n", message.c_str()));
        IgnoreResult(std::fflush(err));
    }
    return kWriteErrorExitCode;
}

namespace {

struct sigaction g_previousPipeAction
{};
bool g_pipeActionChanged = false;

} // namespace

void KeepStandardDescriptorsTaken()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number is this one: every lower one is open by now.
        const int opened = ::open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd) {
            ::close(opened);
        }
    }
}

void ReportBrokenPipeAsError()
{
    struct sigaction ignore
    {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    g_pipeActionChanged = sigaction(SIGPIPE, &ignore, &g_previousPipeAction) == 0;
}

void RestoreBrokenPipeSignal()
{
    if (g_pipeActionChanged) {
        sigaction(SIGPIPE, &g_previousPipeAction, nullptr);
        g_pipeActionChanged = false;
    }
}

} // namespace tessvale
