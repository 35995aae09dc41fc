#include <gtest/gtest.h>

#include "scan/neighbour_budget.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;

const NeighbourBudget::TimePoint kStart = NeighbourBudget::TimePoint() + 100s;

TEST(NeighbourBudget, EachUnresolvedAddressHoldsOnePlaceUntilTheKernelSettlesIt)
{
    NeighbourBudget budget(3, 6000ms);
    EXPECT_TRUE(budget.Start(1, kStart));
    // A retry of the same address makes no second entry in the kernel's table.
    EXPECT_FALSE(budget.Start(1, kStart + 500ms));
    EXPECT_TRUE(budget.Start(2, kStart));
    EXPECT_EQ(budget.Headroom(kStart), 1u);
    EXPECT_TRUE(budget.Start(3, kStart));
    EXPECT_EQ(budget.Headroom(kStart + 1s), 0u);

    budget.Settle(2); // answered or failed
    EXPECT_EQ(budget.Headroom(kStart + 1s), 1u);
    budget.Settle(9); // not held: nothing changes
    EXPECT_EQ(budget.Held(), 2u);
    // Settled, the address may be started again and holds a place again.
    EXPECT_TRUE(budget.Start(2, kStart + 2s));
    EXPECT_EQ(budget.Headroom(kStart + 2s), 0u);
}

TEST(NeighbourBudget, AnEntryWhoseReportWasLostFreesItsPlaceAfterItsLife)
{
    NeighbourBudget budget(2, 6000ms);
    budget.Start(1, kStart);
    budget.Start(2, kStart + 3s);
    EXPECT_EQ(budget.Headroom(kStart + 5900ms), 0u);
    EXPECT_EQ(budget.Headroom(kStart + 6000ms), 1u); // the first one's life is over
    EXPECT_EQ(budget.Headroom(kStart + 9100ms), 2u);
}

TEST(NeighbourBudget, AFullReadOfTheTableSettlesWhatItNoLongerListsAsIncomplete)
{
    NeighbourBudget budget(8, 6000ms);
    for (std::uint32_t address = 1; address <= 4; ++address) {
        budget.Start(address, kStart);
    }
    budget.Reconcile({2, 4, 7});
    EXPECT_EQ(budget.Held(), 2u);
    EXPECT_FALSE(budget.Start(2, kStart));
    EXPECT_TRUE(budget.Start(1, kStart));
}

TEST(NeighbourBudget, ARefusalLowersTheLimitBelowWhatIsHeldAndSettlingWinsItBackSlowly)
{
    NeighbourBudget budget(100, 6000ms);
    for (std::uint32_t address = 1; address <= 41; ++address) {
        budget.Start(address, kStart);
    }
    budget.Refused(41); // the kernel's table is full with 40 of ours in it
    EXPECT_EQ(budget.Held(), 40u);
    EXPECT_EQ(budget.Limit(), 35u);
    EXPECT_EQ(budget.Headroom(kStart), 0u);
    // Sixteen settled entries give the limit back two places, not sixteen.
    for (std::uint32_t address = 1; address <= 16; ++address) {
        budget.Settle(address);
    }
    EXPECT_EQ(budget.Limit(), 37u);
    EXPECT_EQ(budget.Headroom(kStart), 37u - 24u);
    // It never grows past the limit it started with.
    for (std::uint32_t address = 100; address < 1100; ++address) {
        budget.Start(address, kStart);
        budget.Settle(address);
    }
    EXPECT_EQ(budget.Limit(), 100u);
}

TEST(NeighbourBudget, TheLimitLeavesTheRestOfTheSystemAReserve)
{
    // The kernel's default table of 1024 entries, 20 of them in use.
    EXPECT_EQ(NeighbourLimit(1024, 20), 1024u - 64u - 20u);
    EXPECT_EQ(NeighbourLimit(8192, 0), 8192u - 512u);
    // A small or nearly full table still lets a scan go on, slowly.
    EXPECT_EQ(NeighbourLimit(128, 0), 128u - 32u);
    EXPECT_EQ(NeighbourLimit(1024, 1000), 16u);
    EXPECT_EQ(NeighbourLimit(0, 0), 16u);
}

} // namespace
} // namespace tessvale
