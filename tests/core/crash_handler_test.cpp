// The crash handler end to end: a program that fails, the dump writer it starts, and gdb
// reading the core that comes out.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/crash_handler.h"
#include "fakes/temp_folder.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// A private copy of the failing program in a scratch folder, so that its dump folder
// holds only what this test made.
class CrashHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_folder.Path().empty());
        m_program = m_folder.File("crash fixture"); // a blank in the path must not matter
        fs::copy_file(TESSVALE_CRASH_FIXTURE, m_program);
        fs::permissions(m_program, fs::perms::owner_all);
    }

    // Runs the copy and returns its exit code (-1 when it hung and was killed).
    int Run(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all{m_program.string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        argv.reserve(all.size() + 1);
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid_t child = 0;
        if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            return -2;
        }
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::vector<fs::path> DumpFiles() const
    {
        std::vector<fs::path> files;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(m_folder.File("dump"), error)) {
            files.push_back(entry.path());
        }
        return files;
    }

    // gdb's answer to the given commands on the program and the core.
    std::string Debugger(const fs::path& core, const std::string& commands) const
    {
        const std::string command = "gdb -batch -nx -ex 'set debuginfod enabled off' " + commands + " '" +
                                    m_program.string() + "' '" + core.string() + "' 2>&1";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            size_t got = 0;
            while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
                output.append(buffer, got);
            }
            pclose(pipe);
        }
        return output;
    }

    static std::string ReadFile(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // The id of a process that has ended and been waited for.
    static std::string EndedProcessId()
    {
        const pid_t gone = fork();
        if (gone == 0) {
            _exit(0);
        }
        EXPECT_GT(gone, 0);
        waitpid(gone, nullptr, 0);
        return std::to_string(gone);
    }

    static bool HasDebugger() { return std::system("gdb --version >/dev/null 2>&1") == 0; }

    tessvale::test::TempFolder m_folder;
    fs::path m_program;
};

const std::regex kDumpName(R"(\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2,3}-\d{2}\.dmp)");

TEST_F(CrashHandlerTest, NullWriteInWorkerGivesOneCoreThatNamesTheFailingFunction)
{
    EXPECT_EQ(Run({"worker-null-write"}), 1);
    const std::vector<fs::path> dumps = DumpFiles();
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_TRUE(std::regex_match(dumps[0].filename().string(), kDumpName)) << dumps[0];
    EXPECT_EQ(ReadFile(dumps[0]).substr(0, 4), "\x7f"
                                               "ELF");
    if (!HasDebugger()) {
        GTEST_SKIP() << "gdb is not installed";
    }
    const std::string output = Debugger(dumps[0], "-ex bt");
    EXPECT_NE(output.find("terminated with signal SIGSEGV"), std::string::npos) << output;
    EXPECT_NE(output.find("#0  "), std::string::npos) << output;
    // The first frame is the failing instruction itself, not the handler.
    EXPECT_NE(output.find("CrashInWorker"), std::string::npos) << output;
    EXPECT_LT(output.find("#0  "), output.find("CrashInWorker")) << output;
    EXPECT_GT(output.find("#1  "), output.find("CrashInWorker")) << output;
}

TEST_F(CrashHandlerTest, SimultaneousFailuresInTwoThreadsGiveExactlyOneCore)
{
    EXPECT_EQ(Run({"worker-and-main"}), 1);
    const std::vector<fs::path> dumps = DumpFiles();
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_TRUE(std::regex_match(dumps[0].filename().string(), kDumpName)) << dumps[0];
    if (!HasDebugger()) {
        GTEST_SKIP() << "gdb is not installed";
    }
    // Whichever thread failed first leads the core. The other one usually waits in the
    // handler by then, but the writer may also have stopped it just before its failure.
    const std::string first = Debugger(dumps[0], "-ex bt");
    EXPECT_TRUE(first.find("CrashInWorker") != std::string::npos ||
                first.find("AbortInMainThread") != std::string::npos)
        << first;
}

// A failure of each kind reaches the handler and leaves one core whose stack shows the
// failing function.
struct FailureCase
{
    const char* name;
    const char* mode;     // of the failing program
    const char* commands; // for gdb
    const char* frame;
};

class CrashFrames : public CrashHandlerTest, public ::testing::WithParamInterface<FailureCase>
{};

TEST_P(CrashFrames, OneCoreShowsTheFailingFunction)
{
    const FailureCase& failure = GetParam();
    EXPECT_EQ(Run({failure.mode}), 1);
    const std::vector<fs::path> dumps = DumpFiles();
    ASSERT_EQ(dumps.size(), 1u);
    if (!HasDebugger()) {
        GTEST_SKIP() << "gdb is not installed";
    }
    const std::string output = Debugger(dumps[0], failure.commands);
    EXPECT_NE(output.find(failure.frame), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    CrashHandlerTest, CrashFrames,
    ::testing::Values(
        // The handler runs on a stack of its own.
        FailureCase{"StackOverflowReachesTheHandlerOnItsOwnStack", "stack-overflow", "-ex 'bt 3'", "OverflowStack"},
        FailureCase{"UncaughtExceptionIsDumpedThroughTheTerminateHandler", "terminate", "-ex bt", "ThrowWithoutCatch"}),
    [](const ::testing::TestParamInfo<FailureCase>& each) { return std::string(each.param.name); });

TEST_F(CrashHandlerTest, WriterForAnEndedProcessLeavesTheErrorTextInTheFile)
{
    const std::string pid = EndedProcessId();
    // The switch is recognised in any case; the writer process itself ends normally.
    EXPECT_EQ(Run({"-dump", "-p", pid, "-e", "0x1000", "-t", pid}), 0);
    EXPECT_EQ(Run({"-DUMP", "-p", pid, "-e", "0x1000", "-t", pid}), 0);
    const std::vector<fs::path> dumps = DumpFiles();
    ASSERT_EQ(dumps.size(), 2u);
    for (const fs::path& dump : dumps) {
        EXPECT_TRUE(std::regex_match(dump.filename().string(), kDumpName)) << dump;
        EXPECT_EQ(ReadFile(dump), "No such process"); // ESRCH in the C locale the writer keeps
    }
}

// Older dumps go: the folder keeps the newest five, whatever was there before.
TEST_F(CrashHandlerTest, TheDumpFolderKeepsTheNewestFive)
{
    fs::create_directories(m_folder.File("dump"));
    const std::vector<std::string> planted = {"2000-01-01-00-00-00-000-00.dmp", "2000-01-01-00-00-01-000-00.dmp",
                                              "2000-01-01-00-00-02-000-00.dmp", "2000-01-01-00-00-03-000-00.dmp"};
    for (const std::string& name : planted) {
        std::ofstream(m_folder.File("dump/" + name)) << "old";
    }
    std::ofstream(m_folder.File("dump/notes.txt")) << "not a dump";
    const std::string pid = EndedProcessId();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Run({"-dump", "-p", pid, "-e", "0x1000", "-t", pid}), 0);
    }
    std::vector<std::string> names;
    for (const fs::path& file : DumpFiles()) {
        names.push_back(file.filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 6u); // five dumps and the other file
    EXPECT_EQ(names[0], planted[2]);
    EXPECT_EQ(names[1], planted[3]);
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_TRUE(std::regex_match(names[i], kDumpName)) << names[i];
        EXPECT_NE(names[i].rfind("2000-", 0), 0u) << names[i];
    }
    EXPECT_EQ(names[5], "notes.txt");
}

TEST_F(CrashHandlerTest, NormalRunEndsNormally)
{
    EXPECT_EQ(Run({"nothing"}), 0);
    EXPECT_TRUE(DumpFiles().empty());
}

} // namespace
