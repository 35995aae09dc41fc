// The configuration file as whatever may stand in its place: each case loads, says why
// it was not used, leaves the file as it was, and never hands out a part of it.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/temp_folder.h"
#include "store/config_store.h"
#include "store/setting_bounds.h"

namespace tessvale {
namespace {

const std::string kValid = R"(<?xml version="1.0"?>
<config>
	<settings>
		<settings>
			<id value="1" />
			<NetbiosTimeoutMSeconds value="300" />
		</settings>
	</settings>
	<Result>
		<Result>
			<id value="1" />
			<Name value="yesterday" />
		</Result>
	</Result>
	<Item>
		<Item>
			<id value="1" />
			<ResultId value="1" />
			<IP value="198.18.0.10" />
		</Item>
		<Item>
			<id value="2" />
			<ResultId value="1" />
			<IP value="198.18.0.11" />
		</Item>
	</Item>
</config>
)";

std::string FileState(const std::string& path)
{
    struct stat info
    {};
    if (lstat(path.c_str(), &info) != 0) {
        return "missing";
    }
    if (!S_ISREG(info.st_mode)) {
        return "kind " + std::to_string(info.st_mode & S_IFMT);
    }
    return test::ReadFile(path);
}

TEST(ConfigLoader, AFileThatCannotBeUsedIsNotUsedAtAllAndSaysWhy)
{
    // The line of the NUL byte put at offset 300.
    const std::string kNulLine =
        "syntax error at line " + std::to_string(std::count(kValid.begin(), kValid.begin() + 300, '\n') + 1);
    struct Case
    {
        const char* name;
        std::function<void(const std::string& path)> make;
        ConfigStore::LoadState state;
        const char* problem; // the start of LastLoadProblem
    };
    const Case cases[] = {
        {"truncated", [](const std::string& p) { test::WriteFile(p, kValid.substr(0, 200)); },
         ConfigStore::LoadState::Malformed, "syntax error at line "},
        {"NUL byte inside",
         [](const std::string& p) { test::WriteFile(p, kValid.substr(0, 300) + '\0' + kValid.substr(301)); },
         ConfigStore::LoadState::Malformed, kNulLine.c_str()},
        {"not XML", [](const std::string& p) { test::WriteFile(p, "hello\nworld\n"); },
         ConfigStore::LoadState::Malformed, "syntax error at line "},
        {"empty", [](const std::string& p) { test::WriteFile(p, ""); }, ConfigStore::LoadState::Empty,
         "the file is empty"},
        {"nested deep",
         [](const std::string& p) {
             std::string deep;
             for (int i = 0; i < 2000; ++i) {
                 deep.insert(0, "<a>").append("</a>");
             }
             test::WriteFile(p, deep);
         },
         ConfigStore::LoadState::TooDeep, "its elements are nested deeper than 64 levels"},
        {"folder", [](const std::string& p) { EXPECT_EQ(mkdir(p.c_str(), 0700), 0); },
         ConfigStore::LoadState::NotRegular, "a folder, not a file"},
        {"dangling link", [](const std::string& p) { EXPECT_EQ(symlink("/nonexistent/tessvale", p.c_str()), 0); },
         ConfigStore::LoadState::NotRegular, "a symbolic link whose target does not exist"},
        {"link to a device", [](const std::string& p) { EXPECT_EQ(symlink("/dev/zero", p.c_str()), 0); },
         ConfigStore::LoadState::NotRegular, "a device, not a regular file"},
        {"FIFO", [](const std::string& p) { EXPECT_EQ(mkfifo(p.c_str(), 0600), 0); },
         ConfigStore::LoadState::NotRegular, "a FIFO, not a regular file"},
        {"larger than the cap",
         [](const std::string& p) {
             test::WriteFile(p, kValid);
             EXPECT_EQ(truncate(p.c_str(), static_cast<off_t>(ConfigStore::kMaxConfigFileBytes + 1)), 0);
         },
         ConfigStore::LoadState::TooLarge, "larger than 64 MiB"},
    };
    for (const Case& c : cases) {
        test::TempFolder folder;
        const std::string path = folder.File("Tessvale.xml");
        c.make(path);
        const std::string before = FileState(path);
        ConfigStore store;
        EXPECT_FALSE(store.Load(path)) << c.name;
        EXPECT_EQ(store.LastLoadState(), c.state) << c.name;
        EXPECT_TRUE(store.LastLoadUnusable()) << c.name;
        EXPECT_EQ(store.LastLoadProblem().rfind(c.problem, 0), 0u) << c.name << ": " << store.LastLoadProblem();
        // Nothing of it is used: the defaults, no stored result.
        EXPECT_EQ(store.LoadSettings().Value(kNetbiosTimeoutMSeconds), "1000") << c.name;
        std::vector<ConfigRecord> results;
        store.ListRecords(MakeResultRecord(), results);
        EXPECT_TRUE(results.empty()) << c.name;
        EXPECT_EQ(FileState(path), before) << c.name;
    }
}

TEST(ConfigLoader, ValidFilesLoadWholeInAnyEncoding)
{
    test::TempFolder folder;
    const std::string path = folder.File("Tessvale.xml");
    // UTF-16 with its byte-order mark: NUL bytes of its own, and no error.
    std::string wide = "\xFF\xFE";
    for (const char c : kValid) {
        wide += c;
        wide += '\0';
    }
    for (const std::string& content : {kValid, wide}) {
        ASSERT_TRUE(test::WriteFile(path, content));
        ConfigStore store;
        EXPECT_TRUE(store.Load(path)) << store.LastLoadProblem();
        EXPECT_FALSE(store.LastLoadUnusable());
        EXPECT_EQ(store.LastLoadProblem(), "");
        EXPECT_EQ(store.LoadSettings().Value(kNetbiosTimeoutMSeconds), "300");
        std::vector<ConfigRecord> items;
        store.ListRecordsWhere(MakeItemRecord(), kItemResultId, 1, items);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[1].Value(kItemIp), "198.18.0.11");
        store.ListRecordsWhere(MakeItemRecord(), kItemResultId, 2, items);
        EXPECT_TRUE(items.empty());
        // A field name that is no plain name never becomes part of a query.
        store.ListRecordsWhere(MakeItemRecord(), "x' or '1'='1", 1, items);
        EXPECT_TRUE(items.empty());
    }
    ConfigStore missing;
    EXPECT_FALSE(missing.Load(folder.File("none.xml")));
    EXPECT_EQ(missing.LastLoadState(), ConfigStore::LoadState::Missing);
    EXPECT_FALSE(missing.LastLoadUnusable());
}

// Each numeric setting: values in its range are kept, others read as the default and
// are named once.
TEST(ConfigLoader, SettingsOutOfTheirRangeReadAsTheirDefault)
{
    struct Case
    {
        const char* key;
        const char* stored;
        const char* read;
        bool said;
    };
    const Case cases[] = {
        {kNetbiosTimeoutMSeconds, "abc", "1000", true},
        {kNetbiosTimeoutMSeconds, "-1", "1000", true},
        {kNetbiosTimeoutMSeconds, "0", "1000", true},
        {kNetbiosTimeoutMSeconds, "49", "1000", true},
        {kNetbiosTimeoutMSeconds, "50", "50", false},
        {kNetbiosTimeoutMSeconds, "60000", "60000", false},
        {kNetbiosTimeoutMSeconds, "60001", "1000", true},
        {kNetbiosTimeoutMSeconds, "99999999999999999999", "1000", true},
        {kNetbiosTimeoutMSeconds, "", "1000", true},
        {kNetbiosTimeoutMSeconds, " 250 ", " 250 ", false},
        {kAutoscanThreads, "0", "0", false},
        {kAutoscanThreads, "256", "256", false},
        {kAutoscanThreads, "1502", "64", true},
        {kAutoscanThreads, "12x", "64", true},
        {kAutoscanSpanSeconds, "10081", "0", true},
        {kAutoUpdate, "2", "1", true},
        {kProbeRatePerSecond, "0", "2000", true},
        {kProbeRetries, "11", "1", true},
        {kProbeRetries, "10", "10", false},
    };
    for (const Case& c : cases) {
        ConfigStore store;
        ASSERT_TRUE(store.LoadBuffer(std::string("<config><settings><settings><id value=\"1\"/><") + c.key +
                                     " value=\"" + c.stored + "\"/></settings></settings></config>"));
        EXPECT_EQ(store.LoadSettings().Value(c.key), c.read) << c.key << " " << c.stored;
        const std::vector<std::string> problems = store.SettingProblems();
        ASSERT_EQ(problems.size(), c.said ? 1u : 0u) << c.key << " " << c.stored;
        if (c.said) {
            EXPECT_EQ(problems[0].rfind(std::string(c.key) + " '", 0), 0u) << problems[0];
            EXPECT_NE(problems[0].find("; the default " + std::string(c.read) + " is used"), std::string::npos)
                << problems[0];
        }
    }
}

} // namespace
} // namespace tessvale
