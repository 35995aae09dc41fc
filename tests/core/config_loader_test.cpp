// The configuration file as whatever may stand in its place: each case loads, says why
// it was not used, leaves the file as it was, and never hands out a part of it.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

RecordSelection Yesterday()
{
    return {MakeResultRecord(), kResultName, "yesterday", MakeItemRecord(), kItemResultId};
}

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
        for (const bool streamed : {false, true}) {
            const std::string name = std::string(c.name) + (streamed ? " (streamed)" : "");
            test::TempFolder folder;
            const std::string path = folder.File("Tessvale.xml");
            c.make(path);
            const std::string before = FileState(path);
            ConfigStore store;
            EXPECT_FALSE(streamed ? store.LoadSelected(path, Yesterday()) : store.Load(path)) << name;
            EXPECT_EQ(store.LastLoadState(), c.state) << name;
            EXPECT_TRUE(store.LastLoadUnusable()) << name;
            EXPECT_EQ(store.LastLoadProblem().rfind(c.problem, 0), 0u) << name << ": " << store.LastLoadProblem();
            // Nothing of it is used: the defaults, no stored result.
            EXPECT_EQ(store.LoadSettings().Value(kNetbiosTimeoutMSeconds), "1000") << name;
            std::vector<ConfigRecord> results;
            store.ListRecords(MakeResultRecord(), results);
            EXPECT_TRUE(results.empty()) << name;
            EXPECT_EQ(FileState(path), before) << name;
        }
    }
}

// Run as an unprivileged user: root reads a file of mode 000.
TEST(ConfigLoader, AnUnreadableFileSaysPermissionDenied)
{
    test::TempFolder folder;
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    const std::string path = folder.File("Tessvale.xml");
    ASSERT_TRUE(test::WriteFile(path, kValid));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    const auto problems = [&path] {
        std::string said;
        for (const bool streamed : {false, true}) {
            ConfigStore store;
            const bool loaded = streamed ? store.LoadSelected(path, Yesterday()) : store.Load(path);
            said += (loaded ? "loaded" : store.LastLoadProblem()) + ";";
        }
        return said;
    };
    if (geteuid() != 0) {
        EXPECT_EQ(problems(), "Permission denied;Permission denied;");
        return;
    }
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(2);
        }
        const std::string said = problems();
        _exit(write(pipeEnds[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 3);
    }
    close(pipeEnds[1]);
    std::string said(256, '\0');
    const ssize_t got = read(pipeEnds[0], said.data(), said.size());
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    said.resize(static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    EXPECT_EQ(said, "Permission denied;Permission denied;");
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
    for (const std::string& content : {kValid, wide})
        for (const bool streamed : {false, true}) {
            ASSERT_TRUE(test::WriteFile(path, content));
            ConfigStore store;
            EXPECT_TRUE(streamed ? store.LoadSelected(path, Yesterday()) : store.Load(path)) << store.LastLoadProblem();
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
// A run compared with one stored result reads the file as a stream and keeps only that
// result's hosts: whatever the order of the tables and however many results share the
// name, it finds what the whole document gives for them, and nothing of the others.
TEST(ConfigLoader, AStreamedLoadKeepsTheHostsOfTheResultAskedForAndIsNeverSaved)
{
    const std::string results = R"(<Result>
		<Result><id value="1" /><Name value="yesterday" /></Result>
		<Result><id value="2" /><Name value="other" /></Result>
		<Result><id value="03" /><Name value="yesterday" /></Result>
		<Result><id value="4" /><Name value="yesterday!" /></Result>
	</Result>)";
    const std::string items = R"(<Item>
		<Item><id value="1" /><ResultId value="1" /><IP value="198.18.0.1" /></Item>
		<Item><id value="2" /><ResultId value="2" /><IP value="198.18.0.2" /></Item>
		<Item><id value="3" /><ResultId value="3" /><IP value="198.18.0.3" /></Item>
		<Item><id value="4" /><ResultId value="4" /><IP value="198.18.0.4" /></Item>
		<Item><id value="5" /><ResultId value="01" /><IP value="198.18.0.5" /></Item>
		<Item><id value="6" /><IP value="198.18.0.6" /><ResultId value="1" /></Item>
		<Item><id value="7" /><ResultId value="2" /><ResultId value="3" /><IP value="198.18.0.7" /></Item>
	</Item>)";
    const std::string settings =
        R"(<settings><settings><id value="1" /><NetbiosTimeoutMSeconds value="300" /></settings></settings>)";
    const auto hosts = [](ConfigStore& store, std::uint32_t result) {
        std::vector<ConfigRecord> found;
        store.ListRecordsWhere(MakeItemRecord(), kItemResultId, result, found);
        std::string ips;
        for (const ConfigRecord& item : found) {
            ips += item.Value(kItemIp) + " ";
        }
        return ips;
    };
    test::TempFolder folder;
    const std::string path = folder.File("Tessvale.xml");
    for (const std::string& content : {"<config>" + settings + results + items + "</config>",
                                       "<config>" + items + results + settings + "</config>"}) {
        ASSERT_TRUE(test::WriteFile(path, content));
        ConfigStore whole;
        ASSERT_TRUE(whole.Load(path)) << whole.LastLoadProblem();
        ConfigStore streamed;
        ASSERT_TRUE(streamed.LoadSelected(path, Yesterday())) << streamed.LastLoadProblem();
        EXPECT_EQ(streamed.LoadSettings().Value(kNetbiosTimeoutMSeconds), "300");
        std::vector<ConfigRecord> wholeResults, streamedResults;
        whole.ListRecords(MakeResultRecord(), wholeResults);
        streamed.ListRecords(MakeResultRecord(), streamedResults);
        EXPECT_EQ(streamedResults.size(), wholeResults.size());
        // Results 1 and 3 ("03") are named yesterday: their hosts as the whole file has them.
        EXPECT_EQ(hosts(streamed, 1), hosts(whole, 1));
        EXPECT_EQ(hosts(streamed, 1), "198.18.0.1 198.18.0.6 ");
        EXPECT_EQ(hosts(streamed, 3), hosts(whole, 3));
        EXPECT_EQ(hosts(streamed, 3), "198.18.0.3 198.18.0.7 ");
        // The other results' hosts are not held, except one that also names result 3.
        EXPECT_EQ(hosts(streamed, 2), "198.18.0.7 ");
        EXPECT_EQ(hosts(streamed, 4), "");
        std::vector<ConfigRecord> all;
        streamed.ListRecords(MakeItemRecord(), all);
        EXPECT_EQ(all.size(), 4u);
        // Saving it would lose the rest of the file.
        EXPECT_FALSE(streamed.Save());
        EXPECT_EQ(streamed.LastSaveError().code, EROFS);
        EXPECT_EQ(test::ReadFile(path), content);
    }
    // A result without a name field reads as named "": asked for "", its hosts are kept.
    ASSERT_TRUE(test::WriteFile(
        path, "<config>" + results.substr(0, results.rfind("</Result>")) +
                  "<Result><id value=\"5\" /></Result></Result>" + items.substr(0, items.rfind("</Item>")) +
                  "<Item><id value=\"8\" /><ResultId value=\"5\" /><IP value=\"198.18.0.8\" /></Item>"
                  "</Item></config>"));
    RecordSelection unnamed = Yesterday();
    unnamed.ownerValue.clear();
    ConfigStore nameless;
    ASSERT_TRUE(nameless.LoadSelected(path, unnamed)) << nameless.LastLoadProblem();
    EXPECT_EQ(hosts(nameless, 5), "198.18.0.8 ");
    EXPECT_EQ(hosts(nameless, 1), "");

    // A streamed load refuses what the whole parse would expand or could not see.
    const struct
    {
        const char* name;
        std::string content;
        const char* problem;
    } refused[] = {
        {"entity declaration", "<!DOCTYPE config [<!ENTITY a \"b\">]><config>" + settings + "</config>",
         "syntax error at line 1 (entity declarations are not accepted)"},
        {"second root", "<config>" + settings + "</config>\n<config/>", "syntax error at line 2"},
        {"error after the last item", "<config>" + results + items + "<x></config>", "syntax error at line 1"},
    };
    for (const auto& c : refused) {
        ASSERT_TRUE(test::WriteFile(path, c.content));
        ConfigStore streamed;
        EXPECT_FALSE(streamed.LoadSelected(path, Yesterday())) << c.name;
        EXPECT_EQ(streamed.LastLoadState(), ConfigStore::LoadState::Malformed) << c.name;
        EXPECT_EQ(streamed.LastLoadProblem().rfind(c.problem, 0), 0u) << c.name << ": " << streamed.LastLoadProblem();
        std::vector<ConfigRecord> none;
        streamed.ListRecords(MakeResultRecord(), none);
        EXPECT_TRUE(none.empty()) << c.name;
    }
}

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
