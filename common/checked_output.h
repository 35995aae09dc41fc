// Output of the command line that is checked: a full disk, a closed descriptor or a
// reader that went away must not pass for a complete answer.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>

namespace tessvale {

// The exit status of a command whose output could not be written (also when the
// reader of a pipe went away).
inline constexpr int kWriteErrorExitCode = 4;

// A stream whose writes are each flushed and checked. After the first failure nothing
// more is written and Failed() stays true; the first error is kept. Write may be called
// from several threads when the caller serialises the calls; Failed() from any thread.
class CheckedOutput
{
public:
    explicit CheckedOutput(std::FILE* stream) : m_stream(stream) {}

    // Writes and flushes the bytes; false when this or an earlier write failed.
    bool Write(std::string_view bytes);
    bool Failed() const { return m_error.load() != 0; }
    // errno of the first failure; 0 while every write succeeded.
    int Error() const { return m_error.load(); }
    std::FILE* Stream() const { return m_stream; }

private:
    std::FILE* m_stream;
    std::atomic<int> m_error{0};
};

// Takes the result of a call whose failure nothing can act on, so that the decision shows
// where the call is made: a last message on stderr (there is nowhere further to say that it
// failed), a temporary file that could not be removed on a path that has already failed,
// text formatted into a buffer sized for its longest form.
template <typename Result> constexpr void IgnoreResult(Result /*result*/) {}

// "tessvale: write error: <reason>" for the error, or empty for a closed pipe (the
// reader went away on purpose, as "| head" does; nothing is said then).
std::string WriteErrorMessage(int error);

// Says WriteErrorMessage once on `err` (when it is not empty) and returns
// kWriteErrorExitCode.
int ReportWriteError(std::FILE* err, int error);

// For the command line, before anything opens a file or a socket: a standard
// descriptor the caller left closed would otherwise be the number the next socket gets,
// and the table would go out on it. A closed 0, 1 or 2 becomes /dev/null opened for
// reading only, so that writes to it fail (EBADF) as they did on the closed one.
void KeepStandardDescriptorsTaken();

// The reader of a pipe going away ends a write with EPIPE instead of the signal, so the
// command ends with its own status. The inherited disposition is restored by
// RestoreBrokenPipeSignal (for a program that keeps running, the window).
void ReportBrokenPipeAsError();
void RestoreBrokenPipeSignal();

} // namespace tessvale
