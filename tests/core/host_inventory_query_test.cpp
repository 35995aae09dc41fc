
#include <gtest/gtest.h>

#include "fakes/fake_inventory_provider.h"
#include "fakes/temp_folder.h"
#include "scan/host_inventory_query.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

namespace tessvale {
namespace {

using Item = InventoryItem;

InventoryObjects Objects(std::initializer_list<const char*> texts)
{
    InventoryObjects objects;
    for (const char* text : texts) {
        objects.emplace_back(text ? std::optional<std::string>(text) : std::nullopt);
    }
    return objects;
}

TEST(InventoryResultRules, MemoryIsWholeMebibytes)
{
    EXPECT_EQ(InventoryResultText(Item::Memory, Objects({"8589934592"})), "8192");
    EXPECT_EQ(InventoryResultText(Item::Memory, Objects({"1048575"})), "0");
    EXPECT_EQ(InventoryResultText(Item::Memory, Objects({"17179869184", "1048576"})), "16384"); // first object only
    // Beyond 32 bits of mebibytes the number is printed whole rather than wrapped.
    EXPECT_EQ(InventoryResultText(Item::Memory, Objects({"18446744073709551615"})), "17592186044415");
}

TEST(InventoryResultRules, SpeedIsWholeMegabits)
{
    EXPECT_EQ(InventoryResultText(Item::AdapterSpeed, Objects({"1000000000"})), "1000");
    EXPECT_EQ(InventoryResultText(Item::AdapterSpeed, Objects({"10000000000"})), "10000");
    EXPECT_EQ(InventoryResultText(Item::AdapterSpeed, Objects({"100000000", "1000000000"})), "100");
}

TEST(InventoryResultRules, NumbersThatCannotBeReadGiveNothing)
{
    EXPECT_EQ(InventoryResultText(Item::Memory, Objects({nullptr})), "");
    EXPECT_EQ(InventoryResultText(Item::Memory, Objects({"about 8 GB"})), "");
    EXPECT_EQ(InventoryResultText(Item::AdapterSpeed, Objects({"-1"})), "");
    EXPECT_EQ(InventoryResultText(Item::AdapterSpeed, Objects({})), "");
}

TEST(InventoryResultRules, SharesEachFollowedBySemicolonInHostOrder)
{
    EXPECT_EQ(InventoryResultText(Item::Shares, Objects({"ADMIN$", "C$", "IPC$"})), "ADMIN$;C$;IPC$;");
    EXPECT_EQ(InventoryResultText(Item::Shares, Objects({"B", nullptr, "A"})), "B;A;");
    EXPECT_EQ(InventoryResultText(Item::Shares, Objects({})), "");
}

TEST(InventoryResultRules, TextsTakeTheFirstObject)
{
    EXPECT_EQ(InventoryResultText(Item::SystemVersion, Objects({"Debian 12", "other"})), "Debian 12");
    EXPECT_EQ(InventoryResultText(Item::Processor, Objects({nullptr, "second"})), "");
    EXPECT_EQ(InventoryResultText(Item::Processor, Objects({})), "");
}

TEST(InventoryResultRules, CellTextMakesHostTextDisplayable)
{
    EXPECT_EQ(CellText(std::string("Linux\r\nhost\0\0", 13)), "Linux  host");
    EXPECT_EQ(CellText("Gr\xFC\xDF"), "Grüß"); // Latin-1 from an older agent
    EXPECT_EQ(CellText("Grüß"), "Grüß");
}

// A full set of answers as a remote Windows host would give them.
FakeInventoryProvider::Result Answer(InventoryObjects objects)
{
    return {true, std::move(objects)};
}

std::unique_ptr<FakeInventoryProvider> FullProvider()
{
    auto provider = std::make_unique<FakeInventoryProvider>();
    provider->results[Item::SystemVersion] = Answer(Objects({"Microsoft Windows 10 Pro"}));
    provider->results[Item::Processor] = Answer(Objects({"Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz", "second"}));
    provider->results[Item::Memory] = Answer(Objects({"8589934592"}));
    provider->results[Item::Shares] = Answer(Objects({"ADMIN$", "C$", "IPC$"}));
    provider->results[Item::AdapterSpeed] = Answer(Objects({"1000000000"}));
    return provider;
}

class HostInventoryQueryTest : public ::testing::Test
{
protected:
    InventorySources Sources()
    {
        InventorySources sources;
        sources.workgroup = [this] { return workgroup; };
        sources.credentials = [this] {
            ++credentialReads;
            return credentials;
        };
        sources.isLocalAddress = [this](const std::string& address) { return address == localAddress; };
        return sources;
    }

    // Runs the query with the given providers and keeps pointers to them for checks.
    int Run(std::unique_ptr<FakeInventoryProvider> local, std::vector<std::unique_ptr<FakeInventoryProvider>> remote,
            const std::string& address = "192.168.1.5")
    {
        localProvider = local.get();
        remoteProviders.clear();
        std::vector<std::unique_ptr<InventoryProvider>> providers;
        for (auto& provider : remote) {
            remoteProviders.push_back(provider.get());
            providers.push_back(std::move(provider));
        }
        query = std::make_unique<HostInventoryQuery>(std::move(local), std::move(providers), Sources());
        return query->QueryInventory(address, inventory);
    }

    std::vector<std::unique_ptr<FakeInventoryProvider>> One(std::unique_ptr<FakeInventoryProvider> provider)
    {
        std::vector<std::unique_ptr<FakeInventoryProvider>> list;
        list.push_back(std::move(provider));
        return list;
    }

    void ExpectAllFields(const char* text) const
    {
        for (const Item item : kInventoryItems) {
            EXPECT_EQ(InventoryField(inventory, item), text) << static_cast<int>(item);
        }
    }

    std::string workgroup = "WORKGROUP";
    InventoryCredentials credentials{"admin", "pa55word"};
    std::string localAddress = "192.168.1.20";
    int credentialReads = 0;
    HostInventory inventory;
    std::unique_ptr<HostInventoryQuery> query;
    FakeInventoryProvider* localProvider = nullptr;
    std::vector<FakeInventoryProvider*> remoteProviders;
};

TEST_F(HostInventoryQueryTest, RemoteHostFillsEveryFieldAndLeavesTheVendor)
{
    inventory.vendor = "Intel Corporate";
    EXPECT_EQ(Run(nullptr, One(FullProvider())), 1);
    EXPECT_EQ(inventory.systemVersion, "Microsoft Windows 10 Pro");
    EXPECT_EQ(inventory.cpu, "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    EXPECT_EQ(inventory.memoryMb, "8192");
    EXPECT_EQ(inventory.shares, "ADMIN$;C$;IPC$;");
    EXPECT_EQ(inventory.adapterSpeed, "1000");
    EXPECT_EQ(inventory.vendor, "Intel Corporate");
    const std::vector<Item> order(kInventoryItems.begin(), kInventoryItems.end());
    EXPECT_EQ(remoteProviders[0]->queried, order);
}

TEST_F(HostInventoryQueryTest, RemoteIdentityIsWorkgroupLoginAndPassword)
{
    workgroup = "OFFICE";
    Run(nullptr, One(FullProvider()));
    ASSERT_EQ(remoteProviders[0]->connections.size(), 1u);
    const auto& connection = remoteProviders[0]->connections[0];
    EXPECT_EQ(connection.address, "192.168.1.5");
    ASSERT_TRUE(connection.identity.has_value());
    EXPECT_EQ(connection.identity->domain, "OFFICE");
    EXPECT_EQ(connection.identity->user, "admin");
    EXPECT_EQ(connection.identity->password, "pa55word");
}

TEST_F(HostInventoryQueryTest, LongCredentialsAreCutLikeTheirBuffers)
{
    workgroup = "WG";
    credentials = {std::string(600, 'u'), std::string(300, 'p')};
    Run(nullptr, One(FullProvider()));
    const auto& identity = *remoteProviders[0]->connections.at(0).identity;
    EXPECT_EQ(identity.domain.size() + 1 + identity.user.size(), 513u);
    EXPECT_EQ(identity.password.size(), 256u);
}

TEST_F(HostInventoryQueryTest, FailingQueryEmptiesOnlyItsOwnField)
{
    auto provider = FullProvider();
    provider->results[Item::Memory].ok = false;
    EXPECT_EQ(Run(nullptr, One(std::move(provider))), 1);
    EXPECT_EQ(inventory.memoryMb, "");
    EXPECT_EQ(inventory.systemVersion, "Microsoft Windows 10 Pro");
    EXPECT_EQ(inventory.shares, "ADMIN$;C$;IPC$;");
    EXPECT_EQ(inventory.adapterSpeed, "1000"); // the queries after it still ran
}

TEST_F(HostInventoryQueryTest, WithoutCredentialsEveryFieldShowsDash)
{
    inventory.vendor = "Intel Corporate";
    for (const InventoryCredentials& missing : {InventoryCredentials{"", "pw"}, InventoryCredentials{"admin", ""}}) {
        credentials = missing;
        inventory.cpu = "left over";
        EXPECT_EQ(Run(FullProvider(), One(FullProvider())), 0);
        ExpectAllFields("-");
        EXPECT_EQ(inventory.vendor, "Intel Corporate");
        EXPECT_TRUE(remoteProviders[0]->connections.empty());
        EXPECT_TRUE(localProvider->connections.empty());
    }
    EXPECT_EQ(credentialReads, 2); // re-read for every host
}

TEST_F(HostInventoryQueryTest, WithoutProviderNothingIsWritten)
{
    inventory.cpu = "kept";
    inventory.shares = "";
    EXPECT_EQ(Run(nullptr, {}), 0);
    EXPECT_EQ(inventory.cpu, "kept");
    EXPECT_EQ(inventory.shares, "");
    EXPECT_EQ(credentialReads, 0);
}

TEST_F(HostInventoryQueryTest, WithoutWorkgroupEveryFieldShowsDash)
{
    workgroup.clear();
    EXPECT_EQ(Run(nullptr, One(FullProvider())), 0);
    ExpectAllFields("-");
    EXPECT_TRUE(remoteProviders[0]->connections.empty());
}

TEST_F(HostInventoryQueryTest, ThisMachineIsAskedThroughTheLocalProviderWithoutIdentity)
{
    auto local = FullProvider();
    local->results[Item::SystemVersion] = Answer(Objects({"Debian GNU/Linux 12 (bookworm)"}));
    EXPECT_EQ(Run(std::move(local), One(FullProvider()), localAddress), 1);
    ASSERT_EQ(localProvider->connections.size(), 1u);
    EXPECT_FALSE(localProvider->connections[0].identity.has_value());
    EXPECT_TRUE(remoteProviders[0]->connections.empty());
    EXPECT_EQ(inventory.systemVersion, "Debian GNU/Linux 12 (bookworm)");
}

TEST_F(HostInventoryQueryTest, OtherHostsNeverReachTheLocalProvider)
{
    Run(FullProvider(), One(FullProvider()), "192.168.1.21");
    EXPECT_TRUE(localProvider->connections.empty());
    EXPECT_EQ(remoteProviders[0]->connections.size(), 1u);
}

TEST_F(HostInventoryQueryTest, UnreachableProviderLeavesItsFieldsDashAndTheNextFillsTheRest)
{
    auto shares = std::make_unique<FakeInventoryProvider>();
    shares->results[Item::Shares] = Answer(Objects({"public"}));
    shares->connects = false;
    auto rest = FullProvider();
    rest->results.erase(Item::Shares);
    std::vector<std::unique_ptr<FakeInventoryProvider>> providers;
    providers.push_back(std::move(shares));
    providers.push_back(std::move(rest));
    EXPECT_EQ(Run(nullptr, std::move(providers)), 1);
    EXPECT_EQ(inventory.shares, "-");
    EXPECT_EQ(inventory.memoryMb, "8192");
    EXPECT_EQ(inventory.systemVersion, "Microsoft Windows 10 Pro");
}

TEST_F(HostInventoryQueryTest, FirstConnectedProviderWinsAnItemBothAnswer)
{
    auto first = std::make_unique<FakeInventoryProvider>();
    first->results[Item::Shares] = Answer(Objects({"first"}));
    auto second = FullProvider();
    std::vector<std::unique_ptr<FakeInventoryProvider>> providers;
    providers.push_back(std::move(first));
    providers.push_back(std::move(second));
    Run(nullptr, std::move(providers));
    EXPECT_EQ(inventory.shares, "first;");
    EXPECT_EQ(inventory.cpu, "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    const auto& asked = remoteProviders[1]->queried;
    EXPECT_EQ(std::count(asked.begin(), asked.end(), Item::Shares), 0);
}

TEST_F(HostInventoryQueryTest, NoProviderConnectsGivesZeroAndDashes)
{
    auto provider = FullProvider();
    provider->connects = false;
    EXPECT_EQ(Run(nullptr, One(std::move(provider))), 0);
    ExpectAllFields("-");
}

TEST_F(HostInventoryQueryTest, LongAnswersAreCutToTheFieldCapacity)
{
    auto provider = FullProvider();
    provider->results[Item::Processor] = Answer(Objects({std::string(300, 'x').c_str()}));
    std::vector<std::string> names(400, "SHARE");
    InventoryObjects shares(names.begin(), names.end());
    provider->results[Item::Shares] = Answer(shares);
    Run(nullptr, One(std::move(provider)));
    EXPECT_EQ(inventory.cpu.size(), HostInventory::kCpuCapacity - 1);
    EXPECT_EQ(inventory.shares.size(), HostInventory::kSharesCapacity - 1);
}

TEST(InventoryCredentialsFromStore, DecodedAndReReadForEveryHost)
{
    const test::TempFolder folder;
    ConfigStore store;
    store.Load(folder.File("absent/Tessvale.xml"));
    EXPECT_EQ(ReadInventoryCredentials(store).login, ""); // nothing configured yet
    ConfigRecord settings = store.LoadSettings();
    settings.SetValue(kWmiLogin, EncodeCredential("admin"));
    settings.SetValue(kWmiPassword, EncodeCredential("pa55 w=rd/+"));
    store.AddRecord(settings);

    auto provider = FullProvider();
    FakeInventoryProvider* fake = provider.get();
    std::vector<std::unique_ptr<InventoryProvider>> remote;
    remote.push_back(std::move(provider));
    InventorySources sources;
    sources.workgroup = [] { return std::string("WORKGROUP"); };
    sources.credentials = [&store] { return ReadInventoryCredentials(store); };
    sources.isLocalAddress = [](const std::string&) { return false; };
    HostInventoryQuery query(nullptr, std::move(remote), std::move(sources));

    HostInventory inventory;
    EXPECT_EQ(query.QueryInventory("10.1.1.1", inventory), 1);
    settings.SetValue(kWmiPassword, EncodeCredential("changed"));
    store.WriteRecord(settings);
    EXPECT_EQ(query.QueryInventory("10.1.1.2", inventory), 1);
    ASSERT_EQ(fake->connections.size(), 2u);
    EXPECT_EQ(fake->connections[0].identity->user, "admin");
    EXPECT_EQ(fake->connections[0].identity->password, "pa55 w=rd/+");
    EXPECT_EQ(fake->connections[1].identity->password, "changed");
}

} // namespace
} // namespace tessvale
