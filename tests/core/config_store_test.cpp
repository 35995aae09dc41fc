#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "fakes/config_fixture.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

using test::kConfigDataFolder;
using test::List;
using test::ReadFile;
using test::WriteFile;

std::vector<std::uint32_t> Ids(const std::vector<ConfigRecord>& records)
{
    std::vector<std::uint32_t> ids;
    ids.reserve(records.size());
    for (const ConfigRecord& record : records) {
        ids.push_back(record.id);
    }
    return ids;
}

using ConfigStoreTest = test::ConfigFileTest;

TEST_F(ConfigStoreTest, MissingFileGivesDefaultsAndEmptyTables)
{
    EXPECT_FALSE(m_store.Load(m_folder.File("absent/Tessvale.xml")));
    const ConfigRecord settings = m_store.LoadSettings();
    EXPECT_EQ(settings.id, 1u);
    EXPECT_EQ(settings.Value(kAutoscanSpanSeconds), "0");
    EXPECT_EQ(settings.Value(kAutoscanThreads), "64");
    EXPECT_EQ(settings.Value(kNetbiosTimeoutMSeconds), "1000");
    EXPECT_EQ(settings.Value(kAutoUpdate), "1");
    EXPECT_EQ(settings.Value(kWmiLogin), "");
    EXPECT_EQ(settings.Value(kWmiPassword), "");
    EXPECT_TRUE(List(m_store, MakeResultRecord()).empty());

    ConfigRecord result = MakeResultRecord();
    result.id = 1;
    result.SetValue(kResultName, "untouched");
    EXPECT_EQ(m_store.ReadRecord(result), 0);
    EXPECT_EQ(m_store.WriteRecord(result), 0);
    EXPECT_EQ(result.Value(kResultName), "untouched");
    EXPECT_EQ(m_store.DeleteRecord(result), 1);
}

TEST_F(ConfigStoreTest, AbsentFieldKeepsDefaultAndFieldWithoutValueReadsEmpty)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    const ConfigRecord settings = m_store.LoadSettings();
    EXPECT_EQ(settings.Value(kAutoscanSpanSeconds), "5");
    EXPECT_EQ(settings.Value(kAutoscanThreads), "64"); // not in the file
    EXPECT_EQ(settings.Value(kNetbiosTimeoutMSeconds), "250");
    EXPECT_EQ(settings.Value(kAutoUpdate), "0");
    EXPECT_EQ(settings.Value(kWmiLogin), ""); // element without "value"

    // ReadRecord keeps a value whose element is absent; ListRecords reads it as empty.
    ConfigRecord seventh = MakeResultRecord();
    seventh.id = 7;
    seventh.SetValue(kResultIpRange, "kept");
    ASSERT_EQ(m_store.ReadRecord(seventh), 1);
    EXPECT_EQ(seventh.Value(kResultName), "Seventh");
    EXPECT_EQ(seventh.Value(kResultIpRange), "kept");
    ConfigRecord templ = MakeResultRecord();
    templ.SetValue(kResultIpRange, "template");
    const std::vector<ConfigRecord> listed = List(m_store, templ);
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[3].Value(kResultIpRange), "");
    EXPECT_EQ(listed[1].Value(kResultName), "Second");
}

TEST_F(ConfigStoreTest, NewIdFollowsTheLargestAndTheTopIdIsReusedAfterDelete)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    ConfigRecord result = MakeResultRecord();
    result.SetValue(kResultName, "Eighth");
    EXPECT_EQ(m_store.AddRecord(result), 1);
    EXPECT_EQ(result.id, 8u);

    ConfigRecord check = MakeResultRecord();
    check.id = 8;
    ASSERT_EQ(m_store.ReadRecord(check), 1);
    EXPECT_EQ(check.Value(kResultName), "Eighth");

    m_store.DeleteRecord(result);
    ConfigRecord again = MakeResultRecord();
    m_store.AddRecord(again);
    EXPECT_EQ(again.id, 8u);

    // Each table counts for itself: the items hold ids up to 3.
    ConfigRecord item = MakeItemRecord();
    m_store.AddRecord(item);
    EXPECT_EQ(item.id, 4u);
}

TEST_F(ConfigStoreTest, IdWithLeadingZeroIsListedButNotFound)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    const std::vector<ConfigRecord> listed = List(m_store, MakeResultRecord());
    EXPECT_EQ(Ids(listed), (std::vector<std::uint32_t>{1, 2, 7, 7}));
    EXPECT_EQ(listed[2].Value(kResultName), "Leading zero");

    // Id 7 finds the record written "7", never the one written "07".
    ConfigRecord seven = MakeResultRecord();
    seven.id = 7;
    ASSERT_EQ(m_store.ReadRecord(seven), 1);
    EXPECT_EQ(seven.Value(kResultName), "Seventh");
    m_store.DeleteRecord(seven);
    EXPECT_EQ(m_store.ReadRecord(seven), 0);
    EXPECT_EQ(List(m_store, MakeResultRecord()).size(), 3u);
}

TEST_F(ConfigStoreTest, DeleteResultRemovesExactlyItsItemsAndKeepsTheContainers)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    ConfigRecord first = MakeResultRecord();
    first.id = 1;
    EXPECT_EQ(m_store.DeleteResult(first), 1);

    // Both items of result 1 go, including the one whose id is written "03"; the item
    // with the plain id 3 belongs to result 7 and stays.
    const std::vector<ConfigRecord> items = List(m_store, MakeItemRecord());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Value(kItemIp), "10.0.0.2");
    EXPECT_EQ(items[1].Value(kItemIp), "10.0.0.4");
    EXPECT_EQ(Ids(List(m_store, MakeResultRecord())), (std::vector<std::uint32_t>{2, 7, 7}));

    for (const std::uint32_t id : {2u, 7u, 7u}) {
        ConfigRecord result = MakeResultRecord();
        result.id = id;
        m_store.DeleteResult(result);
    }
    EXPECT_EQ(Ids(List(m_store, MakeResultRecord())), (std::vector<std::uint32_t>{7})); // the "07" one
    EXPECT_TRUE(List(m_store, MakeItemRecord()).empty());
    ASSERT_TRUE(m_store.Save());
    const std::string written = ReadFile(m_store.Path());
    EXPECT_NE(written.find("\t<Item />\n"), std::string::npos) << written;
    EXPECT_NE(written.find("\t<Result>\n"), std::string::npos) << written;
}

TEST_F(ConfigStoreTest, EnsurePathCreatesEachElementOnce)
{
    m_store.EnsurePath("//config/Result");
    m_store.EnsurePath("//config/Result");
    m_store.EnsurePath("//config/Item");
    ConfigRecord result = MakeResultRecord();
    m_store.AddRecord(result);
    EXPECT_EQ(result.id, 1u);
    m_store.Load(m_folder.File("Tessvale.xml")); // nothing there: empties the document
    EXPECT_TRUE(List(m_store, MakeResultRecord()).empty());
}

TEST_F(ConfigStoreTest, WriteOrAddRecordWritesInPlaceElseAddsWithTheNextId)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    ConfigRecord second = MakeResultRecord();
    second.id = 2;
    ASSERT_EQ(m_store.ReadRecord(second), 1);
    second.SetValue(kResultIpRange, "10.0.0.1-10.0.0.9");
    EXPECT_EQ(m_store.WriteOrAddRecord(second), 1);
    EXPECT_EQ(second.id, 2u);

    ConfigRecord absent = MakeResultRecord();
    absent.id = 42;
    absent.SetValue(kResultName, "New");
    EXPECT_EQ(m_store.WriteOrAddRecord(absent), 1);
    EXPECT_EQ(absent.id, 8u); // the records hold ids up to 7

    const std::vector<ConfigRecord> listed = List(m_store, MakeResultRecord());
    EXPECT_EQ(Ids(listed), (std::vector<std::uint32_t>{1, 2, 7, 7, 8})); // "07" lists as 7
    EXPECT_EQ(listed[1].Value(kResultName), "Second");
    EXPECT_EQ(listed[1].Value(kResultIpRange), "10.0.0.1-10.0.0.9");
    EXPECT_EQ(listed[4].Value(kResultName), "New");
}

TEST_F(ConfigStoreTest, SettingsRecordIsCreatedOnlyOnRequestAndSavedInPlace)
{
    const std::string path = m_folder.File("Tessvale/Tessvale.xml");
    m_store.Load(path);
    ConfigRecord probe = MakeSettingsRecord();
    probe.id = 1;
    m_store.LoadSettings();
    EXPECT_EQ(m_store.ReadRecord(probe), 0); // reading leaves the document alone

    const ConfigRecord created = m_store.LoadSettings(ConfigStore::MissingSettings::Create);
    EXPECT_EQ(created.Value(kAutoscanThreads), "64");
    ASSERT_EQ(m_store.ReadRecord(probe), 1);
    EXPECT_EQ(probe.Value(kNetbiosTimeoutMSeconds), "1000");
    EXPECT_EQ(probe.Value(kAutoUpdate), "1");

    for (const char* threads : {"250", "8"}) {
        ConfigRecord settings = MakeSettingsRecord();
        settings.SetValue(kAutoscanSpanSeconds, "5");
        settings.SetValue(kAutoscanThreads, threads);
        settings.SetValue(kNetbiosTimeoutMSeconds, "300");
        settings.SetValue(kAutoUpdate, "0");
        ASSERT_TRUE(m_store.SaveSettings(settings));
    }
    ConfigStore reread;
    ASSERT_TRUE(reread.Load(path));
    EXPECT_EQ(List(reread, MakeSettingsRecord()).size(), 1u);
    const ConfigRecord saved = reread.LoadSettings();
    EXPECT_EQ(saved.Value(kAutoscanSpanSeconds), "5");
    EXPECT_EQ(saved.Value(kAutoscanThreads), "8");
    EXPECT_EQ(saved.Value(kAutoUpdate), "0");
}

TEST_F(ConfigStoreTest, SavingSettingsIntoAFileWithoutThemAddsTheRecord)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    ConfigRecord settings = MakeSettingsRecord();
    // The file holds a settings record; after deleting it, a save must add it again.
    settings.id = 1;
    m_store.DeleteRecord(settings);
    settings.SetValue(kAutoscanThreads, "12");
    ASSERT_TRUE(m_store.SaveSettings(settings));
    const std::vector<ConfigRecord> listed = List(m_store, MakeSettingsRecord());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].id, 1u);
    EXPECT_EQ(listed[0].Value(kAutoscanThreads), "12");
}

TEST_F(ConfigStoreTest, WrittenFileHasTheDocumentedByteForm)
{
    // The folder does not exist yet: the first save creates it.
    const std::string path = m_folder.File("data/Tessvale/Tessvale.xml");
    m_store.Load(path);

    ConfigRecord settings = m_store.LoadSettings();
    EXPECT_EQ(m_store.ReadRecord(settings), 0);
    settings.SetValue(kWmiLogin, EncodeCredential("admin"));
    m_store.AddRecord(settings);
    EXPECT_EQ(settings.id, 1u);

    ConfigRecord result = MakeResultRecord();
    result.SetValue(kResultName, "Office & lab");
    result.SetValue(kResultIpRange, "192.168.0.1-192.168.0.254");
    m_store.AddRecord(result);

    ConfigRecord item = MakeItemRecord();
    const char* values[] = {"1", "192.168.0.10", "00:11:22:33:44:55", "PC-10", "-", "-", "", "-", "-", "-", "Acme", ""};
    std::copy(std::begin(values), std::end(values), item.values.begin());
    m_store.AddRecord(item);

    ASSERT_TRUE(m_store.Save());
    EXPECT_EQ(ReadFile(path), ReadFile(kConfigDataFolder + "/written.xml"));

    struct stat info
    {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Nothing but the file itself is left in the folder (no temporary, no backup).
    const auto entries = std::distance(std::filesystem::directory_iterator(m_folder.File("data/Tessvale")),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);

    // The written file reads back the same, also with Windows line ends.
    const std::string crlfPath = m_folder.File("crlf.xml");
    std::string crlf;
    for (const char c : ReadFile(path)) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    ASSERT_TRUE(WriteFile(crlfPath, crlf));
    ConfigStore reloaded;
    ASSERT_TRUE(reloaded.Load(crlfPath));
    const std::vector<ConfigRecord> items = List(reloaded, MakeItemRecord());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].values, item.values);
    EXPECT_EQ(List(reloaded, MakeResultRecord())[0].Value(kResultName), "Office & lab");
    EXPECT_EQ(DecodeCredential(reloaded.LoadSettings().Value(kWmiLogin)), "admin");
}

// The part before the error would pass for the whole configuration: nothing is used.
TEST_F(ConfigStoreTest, MalformedFileIsNotUsedAtAllAndKeptAsBackup)
{
    const std::string original = ReadFile(kConfigDataFolder + "/malformed.xml");
    EXPECT_FALSE(LoadCopy("malformed.xml"));
    EXPECT_EQ(m_store.LastLoadState(), ConfigStore::LoadState::Malformed);
    EXPECT_TRUE(m_store.LastLoadUnusable());
    EXPECT_EQ(m_store.LastLoadProblem().rfind("syntax error at line ", 0), 0u) << m_store.LastLoadProblem();
    EXPECT_TRUE(List(m_store, MakeResultRecord()).empty());
    EXPECT_TRUE(List(m_store, MakeItemRecord()).empty());

    const std::string backup = m_store.Path() + ".bad";
    EXPECT_FALSE(std::filesystem::exists(backup)); // only a save replaces the file
    ASSERT_TRUE(m_store.Save());
    EXPECT_EQ(ReadFile(backup), original);
    ConfigStore empty;
    EXPECT_EQ(ReadFile(m_store.Path()), empty.SavedText());

    // Later saves write over the repaired file and leave the backup alone.
    ConfigRecord result = MakeResultRecord();
    m_store.AddRecord(result);
    ASSERT_TRUE(m_store.Save());
    EXPECT_EQ(ReadFile(backup), original);
}

TEST_F(ConfigStoreTest, DocumentNestedThousandsDeepIsRefusedAndKeptAsBackup)
{
    // Sixty thousand Items inside one another: its save would indent them into gigabytes.
    const std::string original = ReadFile(kConfigDataFolder + "/nested_too_deep.xml");
    EXPECT_FALSE(LoadCopy("nested_too_deep.xml"));
    EXPECT_TRUE(List(m_store, MakeItemRecord()).empty());
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanThreads), "64");

    ASSERT_TRUE(m_store.Save());
    EXPECT_EQ(ReadFile(m_store.Path() + ".bad"), original);
    EXPECT_LT(ReadFile(m_store.Path()).size(), 100u);
}

TEST_F(ConfigStoreTest, SixtyFourLevelsLoadAndSixtyFiveAreRefused)
{
    // The settings record sits at the usual depth; a chain of elements beside it makes
    // the document `levels` deep.
    const auto document = [](int levels) {
        std::string chain;
        for (int i = 1; i < levels; ++i) {
            chain.insert(0, "<d>").append("</d>");
        }
        return R"(<config><settings><settings><id value="1"/><AutoscanThreads value="8"/></settings></settings>)" +
               chain + "</config>";
    };
    const std::string path = m_folder.File("Tessvale.xml");

    ASSERT_TRUE(WriteFile(path, document(64)));
    EXPECT_TRUE(m_store.Load(path));
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanThreads), "8");

    ASSERT_TRUE(WriteFile(path, document(65)));
    EXPECT_FALSE(m_store.Load(path));
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanThreads), "64");
}

TEST_F(ConfigStoreTest, FailedSaveReportsFalseAndKeepsTheTree)
{
    const std::string blocker = m_folder.File("not-a-folder");
    ASSERT_TRUE(WriteFile(blocker, "x"));
    m_store.Load(blocker + "/Tessvale.xml");
    ConfigRecord result = MakeResultRecord();
    m_store.AddRecord(result);
    EXPECT_FALSE(m_store.Save());
    EXPECT_EQ(List(m_store, MakeResultRecord()).size(), 1u);

    ConfigStore noPath;
    EXPECT_FALSE(noPath.Save());

    // A folder where the file should be is neither read nor replaced.
    const std::string folderPath = m_folder.File("folder.xml");
    ASSERT_TRUE(std::filesystem::create_directory(folderPath));
    ConfigStore onFolder;
    EXPECT_FALSE(onFolder.Load(folderPath));
    EXPECT_FALSE(onFolder.Save());
    EXPECT_TRUE(std::filesystem::is_directory(folderPath));
    EXPECT_FALSE(std::filesystem::exists(folderPath + ".bad"));
}

TEST_F(ConfigStoreTest, SaveThroughASymbolicLinkWritesItsTarget)
{
    const std::string target = m_folder.File("real.xml");
    const std::string link = m_folder.File("Tessvale.xml");
    ASSERT_TRUE(WriteFile(target, ReadFile(kConfigDataFolder + "/records.xml")));
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(m_store.Load(link));
    ConfigRecord result = MakeResultRecord();
    m_store.AddRecord(result);
    ASSERT_TRUE(m_store.Save());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    ConfigStore reloaded;
    ASSERT_TRUE(reloaded.Load(target));
    EXPECT_EQ(List(reloaded, MakeResultRecord()).size(), 5u);
}

TEST(Credential, EncodesStandardBase64OfTheLocaleBytes)
{
    EXPECT_EQ(EncodeCredential(""), "");
    EXPECT_EQ(EncodeCredential("f"), "Zg==");
    EXPECT_EQ(EncodeCredential("fo"), "Zm8=");
    EXPECT_EQ(EncodeCredential("foobar"), "Zm9vYmFy");
    EXPECT_EQ(EncodeCredential(std::string(1000, 'a')).size(), 1020u); // the encoder's limit
    for (const std::string text : {"admin", "DOMAIN\\user", "p@ss w0rd!", "x", "xy"}) {
        EXPECT_EQ(DecodeCredential(EncodeCredential(text)), text);
    }
}

TEST(Credential, DecodingSkipsLineBreaksAndStopsAtPaddingAndZero)
{
    EXPECT_EQ(DecodeCredential("Zm9v\r\nYmFy"), "foobar");
    EXPECT_EQ(DecodeCredential("Zg==Zm9v"), "f");
    EXPECT_EQ(DecodeCredential("YQBi"), "a"); // the bytes "a", 0, "b"
    EXPECT_EQ(DecodeCredential(""), "");

    // At most 511 characters are read: 127 whole groups and three characters.
    const std::string longText(400, 'a');
    EXPECT_EQ(DecodeCredential(EncodeCredential(longText)), std::string(383, 'a'));
    EXPECT_TRUE(CredentialFits(std::string(381, 'a'))); // 508 characters
    EXPECT_FALSE(CredentialFits(std::string(382, 'a')));
}

} // namespace
} // namespace tessvale

namespace tessvale {
namespace {

TEST_F(ConfigStoreTest, ItemHoldingAnotherItemIsDeletedOnce)
{
    // Items of result 1 lie inside one another (through a nested "config"): the outer
    // removal takes the inner ones with it, which must not be removed a second time.
    ASSERT_TRUE(LoadCopy("nested_items.xml"));
    ASSERT_EQ(List(m_store, MakeItemRecord()).size(), 4u);
    ConfigRecord result = MakeResultRecord();
    result.id = 1;
    EXPECT_EQ(m_store.DeleteResult(result), 1);
    const std::vector<ConfigRecord> items = List(m_store, MakeItemRecord());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Value(kItemResultId), "2");
    ASSERT_EQ(List(m_store, MakeResultRecord()).size(), 1u);
    EXPECT_TRUE(m_store.Save());
}

TEST_F(ConfigStoreTest, UnreadableAndDamagedFilesAreToldApart)
{
    EXPECT_FALSE(m_store.Load(m_folder.File("none.xml")));
    EXPECT_EQ(m_store.LastLoadState(), ConfigStore::LoadState::Missing);
    EXPECT_FALSE(LoadCopy("malformed.xml"));
    EXPECT_EQ(m_store.LastLoadState(), ConfigStore::LoadState::Malformed);
    EXPECT_FALSE(LoadCopy("nested_too_deep.xml"));
    EXPECT_EQ(m_store.LastLoadState(), ConfigStore::LoadState::TooDeep);
    EXPECT_TRUE(LoadCopy("records.xml"));
    EXPECT_EQ(m_store.LastLoadState(), ConfigStore::LoadState::Loaded);
}

TEST_F(ConfigStoreTest, UnreadableFileIsKeptAsBackupBeforeTheFirstSave)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    // A file that exists but cannot be read: nothing is loaded and, before the first
    // save replaces it, the file is kept as the backup.
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files without read permission";
    }
    const std::string path = m_folder.File("Tessvale.xml");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_FALSE(m_store.Load(path));
    EXPECT_EQ(m_store.LastLoadState(), ConfigStore::LoadState::Unreadable);
    EXPECT_EQ(m_store.LastLoadError(), EACCES);
    ASSERT_TRUE(m_store.Save());
    ASSERT_EQ(::chmod((path + ".bad").c_str(), 0600), 0);
    EXPECT_EQ(ReadFile(path + ".bad"), ReadFile(kConfigDataFolder + "/records.xml"));
}

TEST_F(ConfigStoreTest, SettingsCopyFollowsEveryChangeOfTheDocument)
{
    ASSERT_TRUE(LoadCopy("records.xml"));
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanSpanSeconds), "5");
    ConfigRecord settings = m_store.LoadSettings();
    settings.SetValue(kAutoscanSpanSeconds, "7");
    EXPECT_EQ(m_store.WriteRecord(settings), 1);
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanSpanSeconds), "7");
    EXPECT_EQ(m_store.DeleteRecord(settings), 1);
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanSpanSeconds), "0");
    EXPECT_TRUE(m_store.LoadBuffer(R"(<config><settings><settings><id value="1"/>)"
                                   R"(<AutoscanSpanSeconds value="9"/></settings></settings></config>)"));
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanSpanSeconds), "9");
    EXPECT_TRUE(m_store.LoadBuffer("<config/>"));
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanSpanSeconds), "0");
    m_store.LoadSettings(ConfigStore::MissingSettings::Create);
    EXPECT_EQ(List(m_store, MakeSettingsRecord()).size(), 1u);
}

} // namespace
} // namespace tessvale
