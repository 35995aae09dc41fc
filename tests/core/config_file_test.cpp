// The configuration file on disk: links of other users, temporary files, backups, and
// saves into a full or read-only file system.
#include <filesystem>
#include <sched.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/temp_folder.h"
#include "store/config_file.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr uid_t kOtherUser = 65534; // nobody

int CountEntries(const std::string& folder)
{
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

mode_t ModeOf(const std::string& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

bool AddResultAndSave(ConfigStore& store, const std::string& name)
{
    ConfigRecord result = MakeResultRecord();
    result.SetValue(kResultName, name);
    store.AddRecord(result);
    return store.Save();
}

class ConfigFileTest : public ::testing::Test
{
protected:
    std::string Path() const { return m_folder.File("Tessvale.xml"); }

    TempFolder m_folder;
};

TEST_F(ConfigFileTest, LinkOfAnotherUserOrToAFileOfAnotherUserIsNotFollowed)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "files of another user need root to be made";
    }
    const std::string victim = m_folder.File("root-only");
    ASSERT_TRUE(WriteFile(victim, "secret"));
    ASSERT_EQ(::chown(victim.c_str(), kOtherUser, kOtherUser), 0);
    std::filesystem::create_symlink(victim, Path());

    // Our own link to another user's file.
    ConfigStore store;
    store.Load(Path());
    EXPECT_FALSE(AddResultAndSave(store, "a"));
    EXPECT_EQ(store.LastSaveError().kind, FileError::Kind::ForeignLink);
    EXPECT_EQ(store.LastSaveError().path, Path());
    EXPECT_EQ(ReadFile(victim), "secret");
    EXPECT_TRUE(std::filesystem::is_symlink(Path()));

    // Another user's link to our own file.
    const std::string own = m_folder.File("own.xml");
    ASSERT_TRUE(WriteFile(own, "<config/>"));
    std::filesystem::remove(Path());
    std::filesystem::create_symlink(own, Path());
    ASSERT_EQ(::lchown(Path().c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_FALSE(AddResultAndSave(store, "b"));
    EXPECT_EQ(store.LastSaveError().kind, FileError::Kind::ForeignLink);
    EXPECT_EQ(ReadFile(own), "<config/>");

    // Both ours: the target is written, the link stays.
    ASSERT_EQ(::lchown(Path().c_str(), 0, 0), 0);
    ConfigStore fresh; // the first store read the victim's text: it would keep a backup
    EXPECT_TRUE(fresh.Load(Path()));
    EXPECT_TRUE(AddResultAndSave(fresh, "c"));
    EXPECT_TRUE(std::filesystem::is_symlink(Path()));
    EXPECT_NE(ReadFile(own).find("\"c\""), std::string::npos);
    EXPECT_EQ(ModeOf(own), 0600u);
    EXPECT_EQ(CountEntries(m_folder.Path()), 3); // victim, own.xml, the link: no temporary left
}

TEST_F(ConfigFileTest, DanglingLinkIsNotFollowed)
{
    std::filesystem::create_symlink(m_folder.File("nowhere/else.xml"), Path());
    ConfigStore store;
    store.Load(Path());
    EXPECT_FALSE(AddResultAndSave(store, "a"));
    EXPECT_EQ(store.LastSaveError().kind, FileError::Kind::DanglingLink);
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("nowhere")));
}

TEST_F(ConfigFileTest, StaleTemporaryFilesAreRemovedAtLoadAndOthersKept)
{
    ASSERT_TRUE(WriteFile(Path(), "<config/>"));
    for (const char* name : {"Tessvale.xml.tmp-a1B2c3", "Tessvale.xml.tmp-ZZZZZZ"}) {
        ASSERT_TRUE(WriteFile(m_folder.File(name), "<config><settings>credentials</settings></config>"));
    }
    // Not the program's: another name, another length, a link, a folder.
    for (const char* name : {"Tessvale.xml.backup", "Tessvale.xml.tmp-1234567", "Other.xml.tmp-a1B2c3"}) {
        ASSERT_TRUE(WriteFile(m_folder.File(name), "mine"));
    }
    std::filesystem::create_symlink(m_folder.File("Tessvale.xml.backup"), m_folder.File("Tessvale.xml.tmp-link00"));
    std::filesystem::create_directory(m_folder.File("Tessvale.xml.tmp-folder"));

    ConfigStore store;
    EXPECT_TRUE(store.Load(Path()));
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("Tessvale.xml.tmp-a1B2c3")));
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("Tessvale.xml.tmp-ZZZZZZ")));
    EXPECT_EQ(ReadFile(m_folder.File("Tessvale.xml.backup")), "mine");
    EXPECT_EQ(ReadFile(m_folder.File("Tessvale.xml.tmp-1234567")), "mine");
    EXPECT_EQ(ReadFile(m_folder.File("Other.xml.tmp-a1B2c3")), "mine");
    EXPECT_TRUE(std::filesystem::is_symlink(m_folder.File("Tessvale.xml.tmp-link00")));
    EXPECT_TRUE(std::filesystem::is_directory(m_folder.File("Tessvale.xml.tmp-folder")));
}

TEST_F(ConfigFileTest, ThreeBackupsOfUnparsableFilesAreKeptPrivate)
{
    // Four damaged files in turn, each replaced by a save: the three latest are kept.
    for (int round = 1; round <= 4; ++round) {
        ASSERT_TRUE(WriteFile(Path(), "<config><broken " + std::to_string(round)));
        ASSERT_EQ(::chmod(Path().c_str(), 0644), 0);
        ConfigStore store;
        EXPECT_FALSE(store.Load(Path()));
        ASSERT_TRUE(store.Save());
        EXPECT_EQ(ModeOf(Path()), 0600u);
    }
    const std::string bad = Path() + ".bad";
    EXPECT_EQ(ReadFile(bad), "<config><broken 4");
    EXPECT_EQ(ReadFile(bad + ".1"), "<config><broken 3");
    EXPECT_EQ(ReadFile(bad + ".2"), "<config><broken 2");
    EXPECT_FALSE(std::filesystem::exists(bad + ".3"));
    for (const std::string& backup : {bad, bad + ".1", bad + ".2"}) {
        EXPECT_EQ(ModeOf(backup), 0600u) << backup;
    }
    EXPECT_EQ(CountEntries(m_folder.Path()), 4);
}

// A small file system of our own in a mount namespace of this process: full disks and
// read-only folders fail for root too.
class SmallFileSystemTest : public ConfigFileTest
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tessvale-test", m_folder.Path().c_str(), "tmpfs", 0, "size=64k") != 0) {
            GTEST_SKIP() << "needs root to mount a small file system";
        }
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted) {
            ::umount2(m_folder.Path().c_str(), MNT_DETACH);
        }
    }

    bool m_mounted = false;
};

TEST_F(SmallFileSystemTest, FullDiskFailsTheSaveAndKeepsTheOldFile)
{
    ConfigStore store;
    store.Load(Path());
    ASSERT_TRUE(AddResultAndSave(store, "first"));
    const std::string saved = ReadFile(Path());
    ConfigRecord result = MakeResultRecord();
    result.SetValue(kResultName, std::string(200000, 'x')); // more than the file system holds
    store.AddRecord(result);
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(store.LastSaveError().kind, FileError::Kind::System);
    EXPECT_EQ(store.LastSaveError().code, ENOSPC);
    EXPECT_EQ(ReadFile(Path()), saved);
    EXPECT_EQ(CountEntries(m_folder.Path()), 1); // the partial temporary file is gone
    std::vector<ConfigRecord> results;
    store.ListRecords(MakeResultRecord(), results);
    EXPECT_EQ(results.size(), 2u); // the document in memory keeps both
}

TEST_F(SmallFileSystemTest, ReadOnlyFolderFailsTheSave)
{
    ASSERT_TRUE(WriteFile(Path(), "<config/>"));
    ASSERT_EQ(::mount(nullptr, m_folder.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    ConfigStore store;
    EXPECT_TRUE(store.Load(Path()));
    EXPECT_FALSE(AddResultAndSave(store, "a"));
    EXPECT_EQ(store.LastSaveError().code, EROFS);
    EXPECT_EQ(ReadFile(Path()), "<config/>");
}

} // namespace
} // namespace tessvale
