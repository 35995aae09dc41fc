#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/fd_wait.h"
#include "common/machine_identity.h"
#include "common/paths.h"
#include "common/process_launcher.h"
#include "common/unique_fd.h"
#include "fakes/environment_guard.h"
#include "fakes/temp_folder.h"

namespace tessvale {
namespace {

using test::EnvironmentGuard;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

TEST(UrlEncode, PassesUnreservedAndEncodesEveryOtherByte)
{
    EXPECT_EQ(UrlEncode("a b"), "a+b");
    EXPECT_EQ(UrlEncode("16:03"), "16%3A03");
    EXPECT_EQ(UrlEncode("~"), "%7E");
    EXPECT_EQ(UrlEncode("\xC3\xA4"), "%C3%A4"); // a-umlaut, one percent form per byte
    EXPECT_EQ(UrlEncode("AZaz09-._"), "AZaz09-._");
    EXPECT_EQ(UrlEncode("a&b=c/d+e"), "a%26b%3Dc%2Fd%2Be");
    EXPECT_EQ(UrlEncode(std::string_view("\0\n", 2)), "%00%0A");
}

TEST(Md5Hex, GivesTheRfc1321Digests)
{
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
}

TEST(MachineId, HasTheDocumentedFormAndIsStable)
{
    const std::regex sixteenHex("[0-9a-f]{16}");
    for (const MachineIdKind kind : {MachineIdKind::Processor, MachineIdKind::Volume, MachineIdKind::Combined}) {
        const std::string id = MachineId(kind);
        EXPECT_TRUE(std::regex_match(id, sixteenHex)) << id;
        EXPECT_EQ(MachineId(kind), id);
    }
    EXPECT_NE(MachineId(MachineIdKind::Processor), MachineId(MachineIdKind::Volume));
    // Any kind other than processor and combined is the volume identity.
    EXPECT_EQ(MachineId(static_cast<MachineIdKind>(2)), MachineId(MachineIdKind::Volume));

    EXPECT_TRUE(std::regex_match(ProcessorSourceText(), std::regex(".*-[0-9A-F]{32}"))) << ProcessorSourceText();
    EXPECT_TRUE(std::regex_match(VolumeSourceText(), std::regex("[0-9A-F]{8}"))) << VolumeSourceText();
    EXPECT_EQ(MachineId(MachineIdKind::Volume), Md5Hex(VolumeSourceText()).substr(0, 16));
    EXPECT_EQ(MachineId(MachineIdKind::Combined),
              Md5Hex(MachineId(MachineIdKind::Processor) + MachineId(MachineIdKind::Volume)).substr(0, 16));
}

TEST(CreateDirectoryPath, CreatesMissingParentsAndAcceptsWhatExists)
{
    TempFolder folder;
    const std::string& existing = folder.Path();
    const auto before = std::filesystem::last_write_time(existing);
    EXPECT_TRUE(CreateDirectoryPath(existing));
    EXPECT_TRUE(CreateDirectoryPath(existing + "/"));
    EXPECT_EQ(std::filesystem::last_write_time(existing), before); // nothing created

    EXPECT_TRUE(CreateDirectoryPath(folder.File("Update/")));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("Update")));

    EXPECT_TRUE(CreateDirectoryPath(folder.File("a/b c/d")));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("a/b c/d")));

    ASSERT_TRUE(WriteFile(folder.File("file"), "x"));
    EXPECT_TRUE(CreateDirectoryPath(folder.File("file"))); // something exists under that name
    EXPECT_FALSE(CreateDirectoryPath(folder.File("file/below")));
    EXPECT_FALSE(CreateDirectoryPath("no-folder-of-this-name-here"));
    EXPECT_FALSE(CreateDirectoryPath(""));
}

TEST(Paths, DataFolderFollowsAppDataThenXdgThenHome)
{
    EnvironmentGuard environment;
    environment.Set("APPDATA", "/srv/appdata/");
    environment.Set("XDG_CONFIG_HOME", "/srv/xdg");
    environment.Set("HOME", "/home/someone");
    EXPECT_EQ(DataFolder(), "/srv/appdata/Tessvale");
    EXPECT_EQ(ConfigFilePath(), "/srv/appdata/Tessvale/Tessvale.xml");

    environment.Set("APPDATA", nullptr);
    EXPECT_EQ(DataFolder(), "/srv/xdg/Tessvale");
    environment.Set("XDG_CONFIG_HOME", "relative/xdg"); // not absolute: ignored
    EXPECT_EQ(DataFolder(), "/home/someone/.config/Tessvale");
    environment.Set("XDG_CONFIG_HOME", "");
    environment.Set("APPDATA", "");
    EXPECT_EQ(DataFolder(), "/home/someone/.config/Tessvale");
}

TEST(Paths, ProgramFolderAndSubfolders)
{
    const std::string folder = ProgramFolder();
    EXPECT_EQ(ProgramPath(), folder + "/utilities_test");
    EXPECT_NE(folder.back(), '/');

    TempFolder data;
    EnvironmentGuard environment;
    environment.Set("APPDATA", data.Path().c_str());
    const std::string name = "subfolder-" + std::to_string(getpid());
    const std::string beside = ProgramSubfolder(name);
    EXPECT_EQ(beside, folder + "/" + name);
    EXPECT_TRUE(std::filesystem::is_directory(beside));
    std::filesystem::remove(beside);

    // Where nothing can be made beside the program, the data folder takes it.
    const std::string blocked = "blocked-" + std::to_string(getpid());
    ASSERT_TRUE(WriteFile(folder + "/" + blocked, "x"));
    EXPECT_EQ(ProgramSubfolder(blocked), data.Path() + "/Tessvale/" + blocked);
    EXPECT_TRUE(std::filesystem::is_directory(data.Path() + "/Tessvale/" + blocked));
    std::filesystem::remove(folder + "/" + blocked);
}

// An unpacked package: usr/bin/ beside usr/share/tessvale/, and a data folder.
class InstalledLayoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::create_directories(m_root.File("usr/bin")));
        ASSERT_TRUE(std::filesystem::create_directories(m_root.File("usr/share/tessvale")));
        ASSERT_TRUE(std::filesystem::create_directories(m_root.File("data")));
    }

    TempFolder m_root;
    const std::string m_bin = m_root.File("usr/bin");
    const std::string m_shared = m_root.File("usr/share/tessvale");
    const std::string m_data = m_root.File("data");
};

TEST_F(InstalledLayoutTest, SharedFolderIsFoundFromTheBinFolderOnly)
{
    EXPECT_EQ(SharedDataFolderOf(m_bin), m_shared);
    EXPECT_EQ(SharedDataFolderOf(m_bin + "/"), m_shared);
    // A build tree has no share/tessvale beside it; relative or empty folders never count.
    EXPECT_EQ(SharedDataFolderOf(m_root.File("build")), "");
    EXPECT_EQ(SharedDataFolderOf(m_data), "");
    EXPECT_EQ(SharedDataFolderOf("usr/bin"), "");
    EXPECT_EQ(SharedDataFolderOf(""), "");
    // A file of that name is not the folder.
    std::filesystem::remove(m_shared);
    ASSERT_TRUE(WriteFile(m_shared, "x"));
    EXPECT_EQ(SharedDataFolderOf(m_bin), "");
}

TEST_F(InstalledLayoutTest, InstalledProgramWritesItsFoldersToTheDataFolder)
{
    // The bin folder can be written here (as by root), yet nothing goes into it.
    EXPECT_EQ(ProgramSubfolderIn(m_bin, m_data, "dump"), m_data + "/dump");
    EXPECT_TRUE(std::filesystem::is_directory(m_data + "/dump"));
    EXPECT_FALSE(std::filesystem::exists(m_bin + "/dump"));
    // Without share/tessvale the same folder is a portable copy that keeps them beside itself.
    std::filesystem::remove_all(m_root.File("usr/share"));
    EXPECT_EQ(ProgramSubfolderIn(m_bin, m_data, "Update"), m_bin + "/Update");
    EXPECT_TRUE(std::filesystem::is_directory(m_bin + "/Update"));
    // Neither place: empty, never the root.
    EXPECT_EQ(ProgramSubfolderIn("/", "", "Update"), "");
}

TEST_F(InstalledLayoutTest, ShippedFileFromDataFolderThenBesideThenShared)
{
    // None present: where an installed program expects it.
    EXPECT_EQ(ShippedFilePathIn(m_bin, m_data, "NET_1.vssx"), m_shared + "/NET_1.vssx");
    ASSERT_TRUE(WriteFile(m_shared + "/NET_1.vssx", "shipped"));
    EXPECT_EQ(ShippedFilePathIn(m_bin, m_data, "NET_1.vssx"), m_shared + "/NET_1.vssx");
    ASSERT_TRUE(WriteFile(m_bin + "/NET_1.vssx", "beside"));
    EXPECT_EQ(ShippedFilePathIn(m_bin, m_data, "NET_1.vssx"), m_bin + "/NET_1.vssx");
    ASSERT_TRUE(WriteFile(m_data + "/NET_1.vssx", "own"));
    EXPECT_EQ(ShippedFilePathIn(m_bin, m_data, "NET_1.vssx"), m_data + "/NET_1.vssx");
    // A folder of that name in the data folder is no copy of the file.
    std::filesystem::remove(m_data + "/NET_1.vssx");
    ASSERT_TRUE(std::filesystem::create_directory(m_data + "/NET_1.vssx"));
    EXPECT_EQ(ShippedFilePathIn(m_bin, m_data, "NET_1.vssx"), m_bin + "/NET_1.vssx");
    // A build tree without any copy expects it beside the program.
    EXPECT_EQ(ShippedFilePathIn(m_root.File("build"), "", "NET_1.vssx"), m_root.File("build/NET_1.vssx"));
}

TEST_F(InstalledLayoutTest, OverriddenProgramFolderDecidesTheLayout)
{
    EnvironmentGuard environment;
    environment.Set("APPDATA", m_data.c_str());
    SetProgramFolderOverride(m_bin);
    EXPECT_EQ(ProgramFolder(), m_bin);
    EXPECT_TRUE(InstalledLayout());
    EXPECT_EQ(SharedDataFolder(), m_shared);
    EXPECT_EQ(ProgramSubfolder("Language"), m_data + "/Tessvale/Language");
    SetProgramFolderOverride({});
    EXPECT_EQ(ProgramFolder() + "/utilities_test", ProgramPath());
    EXPECT_FALSE(InstalledLayout());
}

// The programs the installation starts (the window, the inventory's child, the ARP
// sweep helper): from libexec/tessvale/ of an installed or unpacked package first, then
// beside the program (a build tree); only executable files, only plain names.
TEST_F(InstalledLayoutTest, CompanionProgramsFromLibexecThenBeside)
{
    const std::string libexec = m_root.File("usr/libexec/tessvale");
    ASSERT_TRUE(std::filesystem::create_directories(libexec));
    const auto executable = [](const std::string& path) {
        return WriteFile(path, "#!/bin/sh\n") && ::chmod(path.c_str(), 0755) == 0;
    };
    SetProgramFolderOverride(m_bin);
    EXPECT_EQ(CompanionProgramPath("tessvale-inventory"), "") << "none yet";
    ASSERT_TRUE(WriteFile(libexec + "/tessvale-inventory", "not executable"));
    EXPECT_EQ(CompanionProgramPath("tessvale-inventory"), "") << "a file that cannot run";
    ASSERT_TRUE(executable(m_bin + "/tessvale-inventory"));
    EXPECT_EQ(CompanionProgramPath("tessvale-inventory"), m_bin + "/tessvale-inventory");
    ASSERT_TRUE(executable(libexec + "/tessvale-inventory"));
    EXPECT_EQ(CompanionProgramPath("tessvale-inventory"), libexec + "/tessvale-inventory") << "libexec first";
    ASSERT_TRUE(executable(libexec + "/tessvale-window"));
    EXPECT_EQ(CompanionProgramPath("../tessvale/tessvale-window"), "") << "a path is no name";
    EXPECT_EQ(CompanionProgramPath(""), "");
    SetProgramFolderOverride({});

    EXPECT_EQ(ProgramFolderOf("/usr/bin/tessvale"), "/usr/bin");
    EXPECT_EQ(ProgramFolderOf("/opt/x/usr/libexec/tessvale/tessvale-window"), "/opt/x/usr/bin")
        << "the window answers for the program that starts it";
    EXPECT_EQ(ProgramFolderOf("/usr/libexec/tessvale/arp-sweep"), "/usr/libexec/tessvale");
    EXPECT_EQ(ProgramFolderOf("/work/build/tessvale-window"), "/work/build");
    EXPECT_EQ(ProgramFolderOf("/tessvale"), "/");
    EXPECT_EQ(ProgramFolderOf("tessvale"), "");
}

class RunCommandLineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::create_directories(m_folder.File("tool folder")));
        ASSERT_TRUE(std::filesystem::create_directories(m_folder.File("work folder")));
        // Reports its argument count (without its own name), each argument, its working folder and where its
        // standard output goes, then ends with the code given as first argument.
        m_script = m_folder.File("tool folder/report args.sh");
        ASSERT_TRUE(WriteFile(m_script, "#!/bin/sh\n"
                                        "target=$(readlink /proc/$$/fd/1)\n"
                                        "out=\"$2\"\n"
                                        "echo \"$#\" > \"$out\"\n"
                                        "for a in \"$@\"; do echo \"[$a]\" >> \"$out\"; done\n"
                                        "pwd >> \"$out\"\n"
                                        "echo \"$target\" >> \"$out\"\n"
                                        "echo end >> \"$out\"\n"
                                        "[ \"$1\" = kill ] && kill -9 $$\n"
                                        "exit \"$1\"\n"));
        ASSERT_EQ(chmod(m_script.c_str(), 0755), 0);
    }

    TempFolder m_folder;
    std::string m_script;
};

TEST_F(RunCommandLineTest, PathWithBlanksStaysOneArgumentAndWaitGivesTheExitCode)
{
    const std::string out = m_folder.File("out.txt");
    LaunchOptions options;
    options.workingFolder = m_folder.File("work folder");
    options.wait = true;
    options.showWindow = false;
    int exitCode = -1;
    ASSERT_TRUE(RunCommandLine({m_script, "3", out, "two words"}, options, &exitCode));
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(ReadFile(out),
              "3\n[3]\n[" + out + "]\n[two words]\n" + m_folder.Path() + "/work folder\n/dev/null\nend\n");

    ASSERT_TRUE(RunCommandLine({m_script, "kill", out}, options, &exitCode));
    EXPECT_EQ(exitCode, 128 + 9);
}

TEST_F(RunCommandLineTest, WithoutWaitReturnsAtOnceAndTheProgramRuns)
{
    const std::string out = m_folder.File("out.txt");
    LaunchOptions options;
    options.workingFolder = m_folder.File("work folder");
    ASSERT_TRUE(RunCommandLine({m_script, "0", out}, options));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ReadFile(out).find("end\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(ReadFile(out).find("[" + out + "]\n"), std::string::npos);
}

TEST_F(RunCommandLineTest, ReportsWhatCannotBeStarted)
{
    LaunchOptions options;
    options.wait = true;
    EXPECT_FALSE(RunCommandLine({}, options));
    EXPECT_FALSE(RunCommandLine({m_folder.File("tool folder/absent program")}, options));
    EXPECT_FALSE(RunCommandLine({"tessvale-no-such-program-on-path"}, options));
    options.workingFolder = m_folder.File("no such folder");
    EXPECT_FALSE(RunCommandLine({m_script, "0", m_folder.File("out.txt")}, options));
    // A program found on PATH runs from the program's folder by default.
    options.workingFolder.clear();
    int exitCode = -1;
    EXPECT_TRUE(RunCommandLine({"true"}, options, &exitCode));
    EXPECT_EQ(exitCode, 0);
}

bool IsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, MovesOwnershipAndClosesExactlyOnce)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    {
        UniqueFd first(ends[0]);
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first.Valid()); // NOLINT(bugprone-use-after-move): the moved-from state is the point
        EXPECT_EQ(second.Get(), ends[0]);

        UniqueFd third(ends[1]);
        third = std::move(second); // the write end goes, the read end stays open
        EXPECT_FALSE(IsOpen(ends[1]));
        EXPECT_TRUE(IsOpen(ends[0]));
        EXPECT_EQ(third.Get(), ends[0]);
        EXPECT_FALSE(second.Close()); // NOLINT(bugprone-use-after-move): nothing left to close
    }
    EXPECT_FALSE(IsOpen(ends[0]));

    UniqueFd none;
    EXPECT_FALSE(none.Valid());
    ASSERT_EQ(::pipe(ends), 0);
    UniqueFd reader(ends[0]);
    ::close(ends[1]);
    EXPECT_TRUE(reader.Close());
    EXPECT_FALSE(reader.Valid());
}

TEST(WaitForDescriptor, ReadyBeforeTheDeadlineOnly)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const UniqueFd here(pair[0]);
    UniqueFd there(pair[1]);
    const auto soon = [] { return std::chrono::steady_clock::now() + std::chrono::milliseconds(20); };
    const auto later = [] { return std::chrono::steady_clock::now() + std::chrono::seconds(30); };

    EXPECT_FALSE(WaitForDescriptor(here.Get(), POLLIN, soon())); // nothing sent
    EXPECT_TRUE(WaitForDescriptor(here.Get(), POLLOUT, later()));
    ASSERT_EQ(::send(there.Get(), "x", 1, 0), 1);
    EXPECT_TRUE(WaitForDescriptor(here.Get(), POLLIN, later()));
    // A deadline already passed gives up without looking.
    EXPECT_FALSE(WaitForDescriptor(here.Get(), POLLIN, std::chrono::steady_clock::now()));
    // A peer that went away counts as ready: the read then tells the end.
    char byte = 0;
    ASSERT_EQ(::recv(here.Get(), &byte, 1, 0), 1);
    there.Close();
    EXPECT_TRUE(WaitForDescriptor(here.Get(), POLLIN, later()));
    EXPECT_EQ(::recv(here.Get(), &byte, 1, 0), 0);
}

} // namespace
} // namespace tessvale
