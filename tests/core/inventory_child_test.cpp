// The child process that a remote inventory provider asks one host from: the test
// program itself, started again for one of the jobs below.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "scan/linux/inventory_child.h"
#include "scan/linux/inventory_jobs.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kPassword = "not-on-the-command-line-7731";
constexpr std::string_view kNoise = "a library's message that must not reach the terminal\n";

// Sends back the texts it is given: a count, then the texts.
ChildJobResult EchoJob(ChildMessageReader& request, int out)
{
    const std::optional<std::uint32_t> count = request.Number();
    std::vector<std::string> texts;
    for (std::uint32_t i = 0; count && i < *count && i < 64; ++i) {
        std::optional<std::string> text = request.Text(kMaxChildRequest);
        if (!text) {
            return ChildJobResult::BadRequest;
        }
        texts.push_back(std::move(*text));
    }
    if (!count || texts.size() != *count || !request.AtEnd()) {
        return ChildJobResult::BadRequest;
    }
    ChildMessageWriter writer(out);
    bool ok = writer.Number(*count);
    for (const std::string& text : texts) {
        ok = ok && writer.Text(text);
    }
    return ok ? ChildJobResult::Done : ChildJobResult::Failed;
}

// Writes a part of an answer, then fails.
ChildJobResult FailJob(ChildMessageReader&, int out)
{
    ChildMessageWriter(out).Text("partial");
    return ChildJobResult::Failed;
}

ChildJobResult CrashJob(ChildMessageReader&, int)
{
    std::abort();
}

ChildJobResult BigJob(ChildMessageReader&, int out)
{
    return ChildMessageWriter(out).Text(std::string(5000, 'y')) ? ChildJobResult::Done : ChildJobResult::Failed;
}

// A host that stalls: takes a host's request, says something on its standard error, and
// never answers.
ChildJobResult HangJob(ChildMessageReader& request, int)
{
    ReadHostJobRequest(request);
    WriteAll(STDERR_FILENO, kNoise.data(), kNoise.size());
    std::this_thread::sleep_for(60s);
    return ChildJobResult::Done;
}

// The descriptors the child has open beyond its standard ones, counted by the child.
ChildJobResult DescriptorsJob(ChildMessageReader&, int out)
{
    std::vector<int> listed;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        listed.push_back(std::stoi(entry.path().filename().string()));
    }
    std::uint32_t count = 0;
    for (const int fd : listed) {
        // The listing's own descriptor is closed by now.
        if (fd > STDERR_FILENO && ::fcntl(fd, F_GETFD) != -1) {
            ++count;
        }
    }
    return !error && ChildMessageWriter(out).Number(count) ? ChildJobResult::Done : ChildJobResult::Failed;
}

constexpr ChildJob kTestJobs[] = {{"echo", EchoJob}, {"fail", FailJob}, {"crash", CrashJob},
                                  {"big", BigJob},   {"hang", HangJob}, {"descriptors", DescriptorsJob}};

std::chrono::steady_clock::time_point In(std::chrono::milliseconds wait)
{
    return std::chrono::steady_clock::now() + wait;
}

const std::vector<std::uint8_t> kNothing;

TEST(InventoryChild, TheRequestReachesTheChildAndItsPartsComeBackAsWritten)
{
    const std::string longText(300, 'x');
    const auto message = RunInChild(
        "echo", ChildMessageBuilder().Number(3).Text("alpha").Text("").Text(longText).Bytes(), In(10s), 4096);
    ASSERT_TRUE(message.has_value());
    ChildMessageReader reader(*message);
    EXPECT_EQ(reader.Number(), 3U);
    EXPECT_EQ(reader.Text(16), "alpha");
    EXPECT_EQ(reader.Text(16), "");
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_EQ(reader.Text(299), std::nullopt) << "a text longer than its limit";
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.Number(), std::nullopt);
}

TEST(InventoryChild, AShortMessageFailsEveryRead)
{
    const std::vector<std::uint8_t> cut = {5, 0, 0, 0, 'a', 'b'}; // five bytes announced, two sent
    ChildMessageReader reader(cut);
    EXPECT_EQ(reader.Text(16), std::nullopt);
    EXPECT_EQ(reader.Number(), std::nullopt);
    const std::vector<std::uint8_t> half = {1, 0};
    EXPECT_EQ(ChildMessageReader(half).Number(), std::nullopt);
}

TEST(InventoryChild, AFailingCrashingOrOverlongChildGivesNothing)
{
    EXPECT_EQ(RunInChild("fail", kNothing, In(10s), 4096), std::nullopt);
    EXPECT_EQ(RunInChild("crash", kNothing, In(10s), 4096), std::nullopt);
    EXPECT_EQ(RunInChild("big", kNothing, In(10s), 4096), std::nullopt);
}

TEST(InventoryChild, AnUnknownJobOrARequestNotOfTheJobsFormGivesNothing)
{
    EXPECT_EQ(RunInChild("no-such-job", kNothing, In(10s), 4096), std::nullopt);
    // Two texts announced, one sent.
    EXPECT_EQ(RunInChild("echo", ChildMessageBuilder().Number(2).Text("one").Bytes(), In(10s), 4096), std::nullopt);
    EXPECT_EQ(RunInChild("shares", ChildMessageBuilder().Text("198.18.0.1").Bytes(), In(10s), 4096), std::nullopt);
    EXPECT_EQ(RunInChild("snmp", kNothing, In(10s), 4096), std::nullopt);
    EXPECT_EQ(RunInChild("echo", std::vector<std::uint8_t>(kMaxChildRequest + 1), In(10s), 4096), std::nullopt)
        << "a request larger than a child reads";
    // The largest request a child reads still goes through.
    const std::string largest(kMaxChildRequest - 2 * sizeof(std::uint32_t), 'r');
    const auto message =
        RunInChild("echo", ChildMessageBuilder().Number(1).Text(largest).Bytes(), In(10s), kMaxChildRequest);
    ASSERT_TRUE(message.has_value());
    ChildMessageReader reader(*message);
    EXPECT_EQ(reader.Number(), 1U);
    EXPECT_EQ(reader.Text(kMaxChildRequest), largest);
}

TEST(InventoryChild, AHostRequestComesBackAsSentAndAMalformedOneIsRefused)
{
    const InventoryIdentity identity{"WORKGROUP", "scanner", std::string(kPassword)};
    const std::vector<std::uint8_t> message = HostJobMessage("198.18.0.7", identity, 1500ms);
    ChildMessageReader reader(message);
    const std::optional<HostJobRequest> read = ReadHostJobRequest(reader);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->address, "198.18.0.7");
    EXPECT_EQ(read->identity.domain, "WORKGROUP");
    EXPECT_EQ(read->identity.user, "scanner");
    EXPECT_EQ(read->identity.password, kPassword);
    EXPECT_EQ(read->bound, 1500ms);

    std::vector<std::uint8_t> longer = message;
    longer.push_back(0);
    ChildMessageReader trailing(longer);
    EXPECT_EQ(ReadHostJobRequest(trailing), std::nullopt) << "bytes after the request";
    const std::vector<std::uint8_t> cut(message.begin(), message.end() - 1);
    ChildMessageReader shortened(cut);
    EXPECT_EQ(ReadHostJobRequest(shortened), std::nullopt);
    const std::vector<std::uint8_t> hugeUser =
        HostJobMessage("198.18.0.7", InventoryIdentity{"", std::string(5000, 'u'), ""}, 1500ms);
    ChildMessageReader overlong(hugeUser);
    EXPECT_EQ(ReadHostJobRequest(overlong), std::nullopt);
}

TEST(InventoryChild, AChildThatHangsIsKilledAtTheDeadline)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunInChild("hang", kNothing, In(300ms), 4096), std::nullopt);
    // Far below the child's own minute: it was not waited for.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The pid of this process's child serving job, looked for until the deadline; 0 if none.
pid_t FindChild(std::string_view job, std::chrono::steady_clock::time_point deadline)
{
    const std::string parent = std::to_string(::getpid());
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
            const std::string name = entry.path().filename().string();
            const std::string line = ReadWhole(entry.path() / "cmdline");
            std::vector<std::string> arguments;
            std::istringstream parts(line);
            for (std::string part; std::getline(parts, part, '\0');) {
                arguments.push_back(part);
            }
            if (arguments.size() == 4 && arguments[1] == kInventoryChildOption && arguments[2] == job &&
                arguments[3] == parent) {
                return static_cast<pid_t>(std::stoi(name));
            }
        }
        std::this_thread::sleep_for(20ms);
    }
    return 0;
}

TEST(InventoryChild, TheCredentialsAndTheChildsMessagesStayOffTheCommandLineAndTheTerminal)
{
    const std::vector<std::uint8_t> request =
        HostJobMessage("198.18.0.7", InventoryIdentity{"WORKGROUP", "scanner", std::string(kPassword)}, 1000ms);
    std::optional<std::vector<std::uint8_t>> message{std::vector<std::uint8_t>{}};
    std::thread worker([&] { message = RunInChild("hang", request, In(8s), 4096); });
    const pid_t child = FindChild("hang", In(6s));
    std::string commandLine;
    std::error_code error;
    std::filesystem::path childError;
    if (child > 0) {
        commandLine = ReadWhole("/proc/" + std::to_string(child) + "/cmdline");
        childError = std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/fd/2", error);
    }
    worker.join();
    ASSERT_GT(child, 0) << "the child serving the job was not found";
    EXPECT_EQ(commandLine.find(kPassword), std::string::npos) << commandLine;
    EXPECT_EQ(commandLine.find("scanner"), std::string::npos) << commandLine;
    EXPECT_EQ(childError, std::filesystem::path("/dev/null"));
    EXPECT_NE(childError, std::filesystem::read_symlink("/proc/self/fd/2", error));
    EXPECT_EQ(message, std::nullopt);
}

TEST(InventoryChild, ChildrenOfParallelWorkersHoldOnlyTheirOwnPipes)
{
    // A descriptor of the parent that is not close-on-exec, as a careless library leaves.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 0);
    constexpr int kWorkers = 12;
    std::vector<std::optional<std::vector<std::uint8_t>>> messages(kWorkers);
    std::vector<std::thread> workers;
    workers.reserve(kWorkers);
    for (int i = 0; i < kWorkers; ++i) {
        workers.emplace_back([&messages, i] {
            // The first is the stalled host: its child must not hold the others' pipes.
            messages[i] = RunInChild(i == 0 ? "hang" : "descriptors", kNothing, In(i == 0 ? 500ms : 30s), 64);
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    ::close(leaked);
    EXPECT_EQ(messages[0], std::nullopt);
    for (int i = 1; i < kWorkers; ++i) {
        ASSERT_TRUE(messages[i].has_value()) << i;
        ChildMessageReader reader(*messages[i]);
        EXPECT_EQ(reader.Number(), 0U) << i;
    }
}

} // namespace
} // namespace tessvale

int main(int argc, char** argv)
{
    if (const std::optional<int> code = tessvale::RunChildJobIfAsked(argc, argv, tessvale::kTestJobs)) {
        return *code;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
