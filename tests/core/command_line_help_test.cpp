#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <system_error>

#include "app/logic/command_line_help.h"
#include "common/checked_output.h"

namespace tessvale {
namespace {

// Runs the informational options over `arguments` (after the program's name) and keeps
// what they wrote.
struct Answer
{
    std::optional<int> exitCode;
    std::string out;
    std::string err;
};

class StreamText
{
public:
    StreamText() : m_file(open_memstream(&m_buffer, &m_size)) {}
    ~StreamText()
    {
        if (m_file != nullptr) {
            EXPECT_EQ(std::fclose(m_file), 0);
        }
        std::free(m_buffer);
    }
    StreamText(const StreamText&) = delete;
    StreamText& operator=(const StreamText&) = delete;

    std::FILE* File() const { return m_file; }
    std::string Text()
    {
        EXPECT_EQ(std::fflush(m_file), 0);
        return {m_buffer, m_size};
    }

private:
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::FILE* m_file;
};

Answer Invoke(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "tessvale");
    StreamText out;
    StreamText err;
    Answer answer;
    answer.exitCode =
        RunInformationalOption(static_cast<int>(arguments.size()), arguments.data(), out.File(), err.File());
    answer.out = out.Text();
    answer.err = err.Text();
    return answer;
}

TEST(CommandLineHelp, HelpShowsEveryFormAndTheExitCodesOnStandardOutput)
{
    for (const char* option : {"--help", "-h"}) {
        const Answer answer = Invoke({option});
        EXPECT_EQ(answer.exitCode, 0) << option;
        EXPECT_EQ(answer.out, UsageText()) << option;
        EXPECT_EQ(answer.err, "") << option;
    }
    const std::string usage = UsageText();
    for (const char* form : {"--scan [RANGE]...", "--threads N", "--timeout MS", "--format tsv|csv|json", "--csv",
                             "--header", "--sorted", "-m FIRST [LAST]", "-i MAC FIRST [LAST]", "-w MAC", "-uninstall",
                             "--version", "198.18.0.0/24", "IP2MAC.txt", "MAC2IP.txt", "--against NAME|FILE"}) {
        EXPECT_NE(usage.find(form), std::string::npos) << form;
    }
    for (const char* code : {"0    hosts found", "1    no host found", "2    usage error", "3    with --against",
                             "4    write error", "130  interrupted", "143 for SIGTERM", "0 to 256", "50 to 60000"}) {
        EXPECT_NE(usage.find(code), std::string::npos) << code;
    }
    // Help wins wherever it stands, also after a scan's arguments.
    EXPECT_EQ(Invoke({"--scan", "198.18.0.1", "198.18.0.9", "--help"}).exitCode, 0);
}

TEST(CommandLineHelp, VersionLineCarriesTheBuildDate)
{
    EXPECT_EQ(VersionLine("3.9", "2026-03-03 08:15:00"), "tessvale 3.9 (build 20260303)");
    EXPECT_EQ(VersionLine("3.9", ""), "tessvale 3.9 (build unknown)");
    EXPECT_EQ(VersionLine("3.9", "20x6-03-03 08:15:00"), "tessvale 3.9 (build unknown)");
    EXPECT_EQ(VersionLine("3.9", "2026/03/03"), "tessvale 3.9 (build unknown)");

    const Answer answer = Invoke({"--version"});
    EXPECT_EQ(answer.exitCode, 0);
    EXPECT_TRUE(std::regex_match(answer.out, std::regex("tessvale 3\\.9 \\(build [0-9]{8}\\)\n"))) << answer.out;
    EXPECT_EQ(answer.err, "");
}

TEST(CommandLineHelp, UnknownDoubleDashOptionIsAUsageError)
{
    const Answer answer = Invoke({"--bogus", "x"});
    EXPECT_EQ(answer.exitCode, 2);
    EXPECT_EQ(answer.out, "");
    EXPECT_EQ(answer.err, "tessvale: unknown option '--bogus'\nTry 'tessvale --help' for more information.\n");
    EXPECT_EQ(Invoke({"--"}).exitCode, 2);
    EXPECT_EQ(Invoke({"--SCAN"}).exitCode, 2); // long options are matched exactly

    // An option of the scan given without it says so.
    const Answer scanOption = Invoke({"--threads", "4"});
    EXPECT_EQ(scanOption.exitCode, 2);
    EXPECT_EQ(scanOption.err.rfind("tessvale: --threads is an option of --scan\n", 0), 0u) << scanOption.err;
}

TEST(CommandLineHelp, OtherFormsAreLeftToTheirOwnPaths)
{
    for (const std::vector<const char*>& arguments : std::vector<std::vector<const char*>>{
             {},
             {"--scan", "198.18.0.1", "198.18.0.9", "--bogus"}, // the scan's parser reports it
             {"-m", "198.18.0.1"},
             {"-i", "001122334455", "198.18.0.1"},
             {"-w", "001122334455"},
             {"-uninstall"},
             {"-Upgrade", "-Quiet=1"},
             {"-dump", "1", "0", "1"},
             {"-help"},
         }) {
        const Answer answer = Invoke(arguments);
        EXPECT_FALSE(answer.exitCode.has_value()) << (arguments.empty() ? "(none)" : arguments[0]);
        EXPECT_EQ(answer.out + answer.err, "");
    }
}

// Help and version to an output that fails: the reason once, and the status of its own.
TEST(CommandLineHelp, AnAnswerThatCannotBeWrittenIsAWriteError)
{
    for (const char* option : {"--help", "--version"}) {
        std::FILE* full = std::fopen("/dev/full", "w");
        ASSERT_NE(full, nullptr);
        StreamText err;
        const std::vector<const char*> arguments{"tessvale", option};
        EXPECT_EQ(RunInformationalOption(2, arguments.data(), full, err.File()), kWriteErrorExitCode) << option;
        EXPECT_EQ(err.Text(), "tessvale: write error: " + std::generic_category().message(ENOSPC) + "\n") << option;
        // Nothing went out to the full device, so closing it has nothing to fail on.
        ASSERT_EQ(std::fclose(full), 0);
    }
}

TEST(CheckedOutput, KeepsTheFirstFailureAndWritesNothingAfterIt)
{
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    CheckedOutput output(full);
    EXPECT_TRUE(output.Write("")); // nothing to write, nothing failed
    EXPECT_FALSE(output.Write("line\n"));
    EXPECT_TRUE(output.Failed());
    EXPECT_EQ(output.Error(), ENOSPC);
    EXPECT_FALSE(output.Write("more\n"));
    EXPECT_EQ(output.Error(), ENOSPC);
    // The failed bytes were dropped from the buffer: closing has nothing left to fail on.
    ASSERT_EQ(std::fclose(full), 0);
    // A reader that went away is no error worth a word; anything else is said.
    EXPECT_EQ(WriteErrorMessage(EPIPE), "");
    EXPECT_EQ(WriteErrorMessage(EBADF), "tessvale: write error: " + std::generic_category().message(EBADF));

    StreamText text;
    CheckedOutput fine(text.File());
    EXPECT_TRUE(fine.Write("a"));
    EXPECT_TRUE(fine.Write("b\n"));
    EXPECT_FALSE(fine.Failed());
    EXPECT_EQ(text.Text(), "ab\n");
}

// What would open the window: only Qt's own options; a mistyped command line gets a
// message instead.
TEST(CommandLineHelp, AMistypedCommandLineOpensNoWindow)
{
    struct Case
    {
        std::vector<const char*> arguments;
        const char* message; // empty: the window may open
    };
    const Case cases[] = {
        {{}, ""},
        {{"-platform", "offscreen"}, ""},
        {{"-style=fusion", "-reverse"}, ""},
        {{"-session", "1234_5"}, ""},
        {{"-scan", "198.18.52.0/24"}, "'-scan' is not an option; did you mean --scan?"},
        {{"-help"}, "'-help' is not an option; did you mean --help?"},
        {{"-version"}, "'-version' is not an option; did you mean --version?"},
        {{"198.18.52.0/24"}, "'198.18.52.0/24' is not an option; a range is scanned with --scan 198.18.52.0/24"},
        {{"198.18.52.1", "198.18.52.9"}, "'198.18.52.1' is not an option; a range is scanned with --scan 198.18.52.1"},
        {{"-platform", "offscreen", "-m"}, "'-m' must come first, followed by its arguments"},
        {{"-x"}, "'-x' is no option or command of the program"},
        {{"scan"}, "'scan' is no option or command of the program"},
        {{"-style"}, ""}, // Qt reports its missing value itself
        {{"\x1b[31m"}, "' [31m' is no option or command of the program"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> arguments = c.arguments;
        arguments.insert(arguments.begin(), "tessvale");
        EXPECT_EQ(WindowArgumentError(static_cast<int>(arguments.size()), arguments.data()), c.message)
            << (c.arguments.empty() ? "(none)" : c.arguments[0]);
    }
    StreamText err;
    EXPECT_EQ(ReportWindowArgumentError("'-x' is no option or command of the program", err.File()), 2);
    EXPECT_EQ(err.Text(), "tessvale: '-x' is no option or command of the program\nTry 'tessvale --help' for more "
                          "information.\n");
}

} // namespace
} // namespace tessvale
