#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/store_scan.h"
#include "fakes/config_fixture.h"

namespace tessvale {
namespace {

using test::List;
using StoreScanTest = test::ConfigFileTest;

class FakeStoreScanUi : public StoreScanUi
{
public:
    std::string AskResultName() override
    {
        ++asked;
        return name;
    }
    void RangesChanged(const std::string& newName) override { changed.push_back(newName); }
    void SaveFailed(const FileError& error) override { failures.push_back(error); }

    std::string name;
    int asked = 0;
    std::vector<std::string> changed;
    std::vector<FileError> failures;
};

StoredHost Host(const std::string& ip)
{
    StoredHost host;
    host.ip = ip;
    host.mac = "00:00:00:00:00:01";
    host.hostName = "-";
    host.netCardVendor = "Acme";
    return host;
}

TEST_F(StoreScanTest, StoringAScanTwiceReplacesItsHosts)
{
    const std::string path = m_folder.File("Tessvale.xml");
    m_store.Load(path);
    FakeStoreScanUi ui;
    ui.name = "Lab";
    const std::uint32_t id =
        StoreScan(m_store, ui, 0, "10.1.0.1", "10.1.0.20", {Host("10.1.0.1"), Host("10.1.0.2"), Host("10.1.0.3")});
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(ui.asked, 1);
    EXPECT_EQ(ui.changed, std::vector<std::string>{"Lab"});

    EXPECT_EQ(StoreScan(m_store, ui, id, "10.1.0.5", "10.1.0.6", {Host("10.1.0.5"), Host("10.1.0.6")}), id);
    EXPECT_EQ(ui.asked, 1); // a stored result is not named again
    EXPECT_EQ(ui.changed.size(), 1u);

    // What reached the disk: one result, only the hosts of the second store.
    ConfigStore reloaded;
    ASSERT_TRUE(reloaded.Load(path));
    const std::vector<ConfigRecord> results = List(reloaded, MakeResultRecord());
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Value(kResultName), "Lab");
    EXPECT_EQ(results[0].Value(kResultIpRange), "10.1.0.5-10.1.0.6");
    const std::vector<ConfigRecord> items = List(reloaded, MakeItemRecord());
    ASSERT_EQ(items.size(), 2u);
    for (const ConfigRecord& item : items) {
        EXPECT_EQ(item.Value(kItemResultId), "1");
        EXPECT_EQ(item.Value(kItemNetCardVendor), "Acme");
        EXPECT_EQ(item.Value(kItemGroup), "");
    }
    EXPECT_EQ(items[0].Value(kItemIp), "10.1.0.5");
    EXPECT_EQ(items[1].Value(kItemIp), "10.1.0.6");
}

TEST_F(StoreScanTest, StoringAScanStoresNothingWithoutANameOrForAVanishedResult)
{
    const std::string path = m_folder.File("Tessvale.xml");
    m_store.Load(path);
    FakeStoreScanUi ui;
    EXPECT_EQ(StoreScan(m_store, ui, 0, "10.1.0.1", "10.1.0.2", {Host("10.1.0.1")}), 0u);
    EXPECT_EQ(StoreScan(m_store, ui, 4, "10.1.0.1", "10.1.0.2", {Host("10.1.0.1")}), 0u);
    EXPECT_TRUE(ui.changed.empty());
    EXPECT_TRUE(List(m_store, MakeItemRecord()).empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(StoreScanTest, StoringIntoAnUnwritableFileReportsTheFailureAndKeepsTheScan)
{
    // A folder where the file should be: the save fails whoever runs it, root included.
    const std::string path = m_folder.File("Tessvale.xml");
    ASSERT_TRUE(std::filesystem::create_directory(path));
    m_store.Load(path);
    EXPECT_EQ(m_store.LastLoadState(), ConfigStore::LoadState::NotRegular);
    FakeStoreScanUi ui;
    ui.name = "Lab";
    EXPECT_EQ(StoreScan(m_store, ui, 0, "10.1.0.1", "10.1.0.2", {Host("10.1.0.1")}), 0u);
    ASSERT_EQ(ui.failures.size(), 1u);
    EXPECT_EQ(ui.failures[0].kind, FileError::Kind::System);
    EXPECT_EQ(ui.failures[0].code, EISDIR);
    EXPECT_EQ(ui.failures[0].path, path);
    // The result stays in memory and in the chooser, so a later Save retries under it.
    EXPECT_EQ(ui.changed, std::vector<std::string>{"Lab"});
    EXPECT_EQ(List(m_store, MakeItemRecord()).size(), 1u);
    EXPECT_EQ(StoreScan(m_store, ui, 1, "10.1.0.1", "10.1.0.2", {Host("10.1.0.1")}), 0u);
    EXPECT_EQ(ui.failures.size(), 2u);
    EXPECT_EQ(List(m_store, MakeResultRecord()).size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(path));

    // A save that works clears the reason.
    std::filesystem::remove(path);
    EXPECT_EQ(StoreScan(m_store, ui, 1, "10.1.0.1", "10.1.0.2", {Host("10.1.0.1")}), 1u);
    EXPECT_FALSE(m_store.LastSaveError());
    EXPECT_EQ(ui.failures.size(), 2u);
}

TEST_F(StoreScanTest, NamesDifferingOnlyInCaseAreTwoResults)
{
    m_store.Load(m_folder.File("Tessvale.xml"));
    FakeStoreScanUi ui;
    ui.name = "LAB100";
    const std::uint32_t upper = StoreScan(m_store, ui, 0, "10.1.0.1", "10.1.0.2", {Host("10.1.0.1")});
    ui.name = "lab100";
    const std::uint32_t lower = StoreScan(m_store, ui, 0, "10.2.0.1", "10.2.0.2", {Host("10.2.0.1")});
    ASSERT_NE(upper, 0u);
    ASSERT_NE(lower, 0u);
    EXPECT_NE(upper, lower);
    const std::vector<ConfigRecord> results = List(m_store, MakeResultRecord());
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].Value(kResultName), "LAB100");
    EXPECT_EQ(results[1].Value(kResultName), "lab100");
    const std::vector<ConfigRecord> items = List(m_store, MakeItemRecord());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Value(kItemIp), "10.1.0.1");
    EXPECT_EQ(items[1].Value(kItemIp), "10.2.0.1");
}

TEST_F(StoreScanTest, StoringIntoAResultWhoseItemsHoldEachOtherReplacesThemOnce)
{
    // Items of result 1 lie inside one another (through a nested "config"): the outer
    // removal takes the inner ones with it, which must not be removed a second time.
    ASSERT_TRUE(LoadCopy("nested_items.xml"));
    FakeStoreScanUi ui;
    EXPECT_EQ(StoreScan(m_store, ui, 1, "10.0.0.1", "10.0.0.9", {Host("10.0.0.9")}), 1u);
    EXPECT_EQ(List(m_store, MakeItemRecord()).size(), 2u);
}

} // namespace
} // namespace tessvale
