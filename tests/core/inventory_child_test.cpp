// The child process that a remote inventory provider asks one host from.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "scan/linux/inventory_child.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;

std::chrono::steady_clock::time_point In(std::chrono::milliseconds wait)
{
    return std::chrono::steady_clock::now() + wait;
}

TEST(InventoryChild, TheChildsPartsComeBackAsWritten)
{
    const auto message = RunInChild(
        [](int out) {
            ChildMessageWriter writer(out);
            return writer.Number(7) && writer.Text("alpha") && writer.Text("") && writer.Text(std::string(300, 'x'));
        },
        In(10s), 4096);
    ASSERT_TRUE(message.has_value());
    ChildMessageReader reader(*message);
    EXPECT_EQ(reader.Number(), 7U);
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
    EXPECT_EQ(RunInChild([](int out) { return ChildMessageWriter(out).Text("partial") && false; }, In(10s), 4096),
              std::nullopt);
    EXPECT_EQ(RunInChild([](int) -> bool { std::abort(); }, In(10s), 4096), std::nullopt);
    EXPECT_EQ(RunInChild([](int out) { return ChildMessageWriter(out).Text(std::string(5000, 'y')); }, In(10s), 4096),
              std::nullopt);
}

TEST(InventoryChild, AChildThatHangsIsKilledAtTheDeadline)
{
    const auto start = std::chrono::steady_clock::now();
    const auto message = RunInChild(
        [&](int) {
            std::this_thread::sleep_for(60s);
            return true;
        },
        In(300ms), 4096);
    EXPECT_EQ(message, std::nullopt);
    // Far below the child's own minute: it was not waited for.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

// The descriptors the child has open beyond the standard ones and its pipe, counted by
// the child itself.
std::uint32_t OtherDescriptors(int out)
{
    std::uint32_t count = 0;
    for (int fd = 0; fd < 4096; ++fd) {
        if (fd > STDERR_FILENO && fd != out && ::fcntl(fd, F_GETFD) != -1) {
            ++count;
        }
    }
    return count;
}

TEST(InventoryChild, ChildrenOfParallelWorkersHoldOnlyTheirOwnPipe)
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
            messages[i] = RunInChild(
                [i](int out) {
                    if (i == 0) {
                        std::this_thread::sleep_for(60s); // the stalled host: its child must not hold the others
                    }
                    return ChildMessageWriter(out).Number(OtherDescriptors(out));
                },
                In(i == 0 ? 500ms : 30s), 64);
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
