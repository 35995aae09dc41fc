// The update run against a real https server on loopback (with a certificate the test
// makes) serving the update service's answers and an installer that is a small script
// leaving a marker file, signed with a key pair the test makes.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/localization.h"
#include "common/signature_check.h"
#include "common/update_check.h"
#include "fakes/environment_guard.h"
#include "fakes/local_http_server.h"
#include "fakes/temp_folder.h"

namespace tessvale {
namespace {

using namespace test; // the fakes' environment guard, web server, files and folders

constexpr char kReleaseTime[] = "2015-10-09 16:03:37";
constexpr char kMachineId[] = "0123456789abcdef";

TEST(UpdateCommand, EveryModeBuildsItsArgumentsOneByOne)
{
    const std::string program = "/opt/Tess vale/tessvale"; // a blank stays inside one argument
    EXPECT_EQ(UpdateCommandLine(UpdateMode::Interactive, program, kReleaseTime, kMachineId),
              (std::vector<std::string>{program, "-Upgrade", "-ProductName=Tessvale",
                                        "-ReleaseTime=2015-10-09+16%3A03%3A37", "-MachineID=0123456789abcdef"}));
    EXPECT_EQ(UpdateCommandLine(UpdateMode::Startup, program, kReleaseTime, kMachineId),
              (std::vector<std::string>{program, "-Upgrade", "-Silent", "-ProductName=Tessvale",
                                        "-ReleaseTime=2015-10-09+16%3A03%3A37", "-MachineID=0123456789abcdef"}));
    EXPECT_EQ(UpdateCommandLine(UpdateMode::Periodic, program, kReleaseTime, kMachineId),
              (std::vector<std::string>{program, "-Upgrade", "-Silent", "-CheckUpdate", "-ProductName=Tessvale",
                                        "-ReleaseTime=2015-10-09+16%3A03%3A37", "-MachineID=0123456789abcdef"}));
}

TEST(UpdateCommand, RequestUrlCarriesTheArgumentsWithoutTheirDash)
{
    const auto periodic = UpdateCommandLine(UpdateMode::Periodic, "/p/tessvale", kReleaseTime, kMachineId);
    EXPECT_EQ(UpdateRequestUrl("http://update.example", periodic),
              "http://update.example/updatesystem/update.php?Upgrade&Silent&CheckUpdate&ProductName=Tessvale&"
              "ReleaseTime=2015-10-09+16%3A03%3A37&MachineID=0123456789abcdef");
    const auto interactive = UpdateCommandLine(UpdateMode::Interactive, "/p/tessvale", kReleaseTime, kMachineId);
    EXPECT_EQ(UpdateRequestUrl("http://update.example", interactive),
              "http://update.example/updatesystem/update.php?Upgrade&ProductName=Tessvale&"
              "ReleaseTime=2015-10-09+16%3A03%3A37&MachineID=0123456789abcdef");
}

TEST(UpdateCommand, ReleaseTimeFromTheBuildStamps)
{
    EXPECT_EQ(ReleaseTimeFrom("Oct  9 2015", "16:03:37"), kReleaseTime);
    EXPECT_EQ(ReleaseTimeFrom("Jan 31 2024", "00:00:05"), "2024-01-31 00:00:05");
    EXPECT_EQ(ReleaseTimeFrom("Foo  9 2015", "16:03:37"), "");
    EXPECT_EQ(ReleaseTimeFrom("Oct  9 2015", "later"), "");
    // This program's own stamp has the same form.
    EXPECT_EQ(ReleaseTime().size(), 19u);
}

TEST(UpdateCommand, ServerComesFromTheEnvironmentWithoutTrailingSlash)
{
    EnvironmentGuard environment;
    environment.Set("TESSVALE_UPDATE_SERVER", "http://127.0.0.1:9/");
    EXPECT_EQ(UpdateServer(), "http://127.0.0.1:9");
    environment.Unset("TESSVALE_UPDATE_SERVER");
    const std::string built = UpdateServer();
    EXPECT_FALSE(built.empty());
    EXPECT_NE(built.back(), '/');
}

TEST(UpdateAnswer, RecordWithIdOneIsSelected)
{
    const auto record = ParseUpdateAnswer(R"(<?xml version="1.0" encoding="utf-8"?>
<QmUpdate><Config>
  <Config><id value="2"/><Update value="YES"/><Url value="http://wrong/"/></Config>
  <Config><id value="1"/><Update value="yes"/><Silent value="no"/><ProductName value="Tessvale"/>
          <Info value="Schöner\nSchneller"/><Url value="https://x/setup.sh"/></Config>
</Config></QmUpdate>)");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->update, "yes");
    EXPECT_EQ(record->silent, "no");
    EXPECT_EQ(record->productName, "Tessvale");
    EXPECT_EQ(record->info, "Schöner\\nSchneller");
    EXPECT_EQ(record->url, "https://x/setup.sh");
    EXPECT_FALSE(ParseUpdateAnswer("<QmUpdate><Config><Config><id value='2'/></Config></Config></QmUpdate>"));
    EXPECT_FALSE(ParseUpdateAnswer("not xml at all <"));
    // Missing children read as empty texts.
    const auto bare = ParseUpdateAnswer("<QmUpdate><Config><Config><id value='1'/></Config></Config></QmUpdate>");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->update, "");
    EXPECT_EQ(bare->url, "");
}

struct Shown
{
    std::string text;
    std::string caption;
};

class RecordingUi : public UpdateUi
{
public:
    class Progress : public UpdateProgress
    {
    public:
        explicit Progress(RecordingUi& owner) : m_owner(owner) {}
        ~Progress() override { m_owner.progressOpen = false; }
        void SetPercent(int percent) override { m_owner.percents.push_back(percent); }

    private:
        RecordingUi& m_owner;
    };

    void ShowMessage(const std::string& text, const std::string& caption) override
    {
        messages.push_back({text, caption});
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override
    {
        questions.push_back({text, caption});
        return answerYes;
    }
    std::unique_ptr<UpdateProgress> OpenProgress(const std::string& title) override
    {
        progressTitles.push_back(title);
        if (!progressPossible) {
            return nullptr;
        }
        progressOpen = true;
        return std::make_unique<Progress>(*this);
    }

    bool answerYes = false;
    bool progressPossible = true;
    bool progressOpen = false;
    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::vector<std::string> progressTitles;
    std::vector<int> percents;
};

class FakeMainWindow : public MainWindowLink
{
public:
    bool IsRunning(const std::string& productName) override
    {
        askedFor = productName;
        return running;
    }
    bool AddNewVersionMenuItem(const std::string& /*productName*/) override
    {
        ++requests;
        return running;
    }
    bool running = false;
    int requests = 0;
    std::string askedFor;
};

constexpr char kInstallerScript[] = "#!/bin/sh\nprintf 'args:[%s]\\n' \"$*\" > \"$(dirname \"$0\")/marker.txt\"\n";

// The update service on loopback: the answer is the file updatesystem/update.php, the
// installer files/setup.sh.
// Runs a shell command; true when it succeeded.
bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

class UpdateRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_environment.Set("no_proxy", "127.0.0.1,localhost");
        ASSERT_TRUE(std::filesystem::create_directories(m_root.File("updatesystem")));
        ASSERT_TRUE(std::filesystem::create_directories(m_root.File("files")));
        ASSERT_TRUE(Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost"
                          " -addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout " +
                          m_keys.File("tls.key") + " -out " + m_keys.File("tls.pem")))
            << "openssl could not make a test certificate";
        ASSERT_TRUE(MakeSigningKey("signing"));
        ASSERT_TRUE(WriteFile(m_root.File("files/setup.sh"), kInstallerScript));
        ASSERT_TRUE(Sign("files/setup.sh", "signing"));
        m_server = std::make_unique<LocalHttpServer>(std::vector<std::string>{
            "--root", m_root.Path(), "--cert", m_keys.File("tls.pem"), "--key", m_keys.File("tls.key")});
        ASSERT_TRUE(m_server->Running()) << m_server->Error();
        m_environment.Set("TESSVALE_UPDATE_SERVER", m_server->BaseUrl().c_str());
        SetLanguageFolderOverride(m_languages.Path());
        m_context.ui = &m_ui;
        m_context.mainWindow = &m_mainWindow;
        m_context.isConnected = [this] { return m_connected; };
        m_context.updateFolder = m_downloads.File("Update");
        m_context.caFile = m_keys.File("tls.pem");
        m_context.publicKeyPem = ReadFile(m_keys.File("signing.pub"));
        ASSERT_FALSE(m_context.publicKeyPem.empty());
    }

    // An Ed25519 key pair NAME.key / NAME.pub.
    bool MakeSigningKey(const std::string& name) const
    {
        return Shell("openssl genpkey -algorithm ed25519 -out " + m_keys.File(name + ".key")) &&
               Shell("openssl pkey -in " + m_keys.File(name + ".key") + " -pubout -out " + m_keys.File(name + ".pub"));
    }

    // The detached signature FILE.sig of a served file, made with key NAME.
    bool Sign(const std::string& file, const std::string& name) const
    {
        return Shell("openssl pkeyutl -sign -rawin -inkey " + m_keys.File(name + ".key") + " -in " + m_root.File(file) +
                     " -out " + m_root.File(file + ".sig"));
    }

    // What the download folder holds besides the marker.
    std::vector<std::string> Downloaded() const
    {
        std::vector<std::string> names;
        if (std::filesystem::exists(m_context.updateFolder)) {
            for (const auto& entry : std::filesystem::directory_iterator(m_context.updateFolder)) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void TearDown() override { SetLanguageFolderOverride({}); }

    void Answer(const std::string& record)
    {
        ASSERT_TRUE(WriteFile(m_root.File("updatesystem/update.php"),
                              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<QmUpdate><Config>" + record +
                                  "</Config></QmUpdate>\n"));
    }

    void AnswerUpdate(const std::string& silent, const std::string& url, const std::string& info = {})
    {
        Answer(R"(<Config><id value="1"/><Update value="YES"/><Silent value=")" + silent +
               R"("/><ProductName value="Tessvale"/><Info value=")" + info + R"("/><Url value=")" + url +
               R"("/></Config>)");
    }

    std::string InstallerUrl() const { return m_server->BaseUrl() + "/files/setup.sh"; }

    int Run(UpdateMode mode)
    {
        return RunUpdateCheck(UpdateCommandLine(mode, "/p/tessvale", kReleaseTime, kMachineId), m_context);
    }

    // The installer runs detached: wait a little for its marker.
    std::string WaitForMarker() const
    {
        const std::string marker = m_context.updateFolder + "/marker.txt";
        for (int i = 0; i < 200; ++i) {
            std::string text = ReadFile(marker);
            if (!text.empty()) {
                return text;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return {};
    }

    static std::vector<std::string> Texts(const std::vector<Shown>& shown)
    {
        std::vector<std::string> texts;
        texts.reserve(shown.size());
        for (const Shown& item : shown) {
            texts.push_back(item.caption + ": " + item.text);
        }
        return texts;
    }

    EnvironmentGuard m_environment;
    TempFolder m_keys;
    TempFolder m_root;
    TempFolder m_downloads;
    TempFolder m_languages;
    std::unique_ptr<LocalHttpServer> m_server;
    RecordingUi m_ui;
    FakeMainWindow m_mainWindow;
    bool m_connected = true;
    UpdateRunContext m_context;
};

using Messages = std::vector<std::string>;

TEST_F(UpdateRun, OnlyAFirstUpgradeArgumentMakesAnUpdateRun)
{
    m_connected = false;
    EXPECT_EQ(RunUpdateCheck({"/p/tessvale"}, m_context), -1);
    EXPECT_EQ(RunUpdateCheck({"/p/tessvale", "-w", "-Upgrade"}, m_context), -1);
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_EQ(RunUpdateCheck({"/p/tessvale", "-uPgRaDe"}, m_context), 0);
    EXPECT_EQ(Texts(m_ui.messages), Messages{"Update: Network connection failed!"});
}

TEST_F(UpdateRun, NoConnectionOrNoAnswerIsShownOnlyInteractively)
{
    m_connected = false;
    EXPECT_EQ(Run(UpdateMode::Startup), 0);
    EXPECT_EQ(Run(UpdateMode::Periodic), 0);
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    m_connected = true; // connected, but the service has no answer (404)
    EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    EXPECT_EQ(Run(UpdateMode::Startup), 0);
    EXPECT_EQ(Texts(m_ui.messages),
              (Messages{"Update: Network connection failed!", "Update: Network connection failed!"}));
}

TEST_F(UpdateRun, AnswerWithoutRecordAndAnswerNoHaveTheirOwnWording)
{
    Answer(R"(<Config><id value="2"/><Update value="YES"/></Config>)");
    EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    EXPECT_EQ(Run(UpdateMode::Periodic), 0);
    Answer(R"(<Config><id value="1"/><Update value="NO"/></Config>)");
    EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    EXPECT_EQ(Run(UpdateMode::Startup), 0);
    EXPECT_EQ(Texts(m_ui.messages), (Messages{"Update: Already update to date!", "Update: Already up to date!"}));
    EXPECT_TRUE(m_ui.questions.empty());
}

TEST_F(UpdateRun, QuestionShowsTheInfoLinesAndNoDownloadsNothing)
{
    AnswerUpdate("NO", InstallerUrl(), "Faster scans\\nFewer crashes");
    m_ui.answerYes = false;
    EXPECT_EQ(Run(UpdateMode::Startup), 1);
    ASSERT_EQ(m_ui.questions.size(), 1u);
    EXPECT_EQ(m_ui.questions[0].text, "Tessvale New version available. Upgrade now?\nFaster scans\nFewer crashes");
    EXPECT_EQ(m_ui.questions[0].caption, "Tessvale Update");
    EXPECT_TRUE(m_ui.progressTitles.empty());
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(m_context.updateFolder + "/setup.sh"));
}

TEST_F(UpdateRun, YesDownloadsWithProgressAndStartsTheInstaller)
{
    AnswerUpdate("no", InstallerUrl());
    m_ui.answerYes = true;
    EXPECT_EQ(Run(UpdateMode::Interactive), 1);
    EXPECT_EQ(m_ui.questions.size(), 1u);
    EXPECT_EQ(m_ui.progressTitles, std::vector<std::string>{"Tessvale Update"});
    EXPECT_FALSE(m_ui.progressOpen); // closed after the download
    ASSERT_FALSE(m_ui.percents.empty());
    EXPECT_EQ(m_ui.percents.back(), 100);
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_EQ(ReadFile(m_context.updateFolder + "/setup.sh"), kInstallerScript);
    struct stat info
    {};
    ASSERT_EQ(stat((m_context.updateFolder + "/setup.sh").c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0u);
    EXPECT_EQ(WaitForMarker(), "args:[]\n");
}

TEST_F(UpdateRun, SilentInstallAsksNothingAndAddsVerySilent)
{
    AnswerUpdate("yes", InstallerUrl());
    m_mainWindow.running = true; // not even the menu item: a silent install just happens
    EXPECT_EQ(Run(UpdateMode::Periodic), 1);
    EXPECT_TRUE(m_ui.questions.empty());
    EXPECT_TRUE(m_ui.progressTitles.empty());
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_EQ(m_mainWindow.requests, 0);
    EXPECT_EQ(WaitForMarker(), "args:[/VERYSILENT]\n");
}

TEST_F(UpdateRun, UrlEndingInSlashIsAFailedDownloadThatWritesNothing)
{
    AnswerUpdate("NO", m_server->BaseUrl() + "/files/");
    m_ui.answerYes = true;
    EXPECT_EQ(Run(UpdateMode::Startup), 1);
    EXPECT_EQ(Texts(m_ui.messages), Messages{"Update: Network connection failed!"});
    EXPECT_TRUE(!std::filesystem::exists(m_context.updateFolder) || std::filesystem::is_empty(m_context.updateFolder));
    // Silent, the same failure stays unseen.
    AnswerUpdate("YES", m_server->BaseUrl() + "/files/");
    EXPECT_EQ(Run(UpdateMode::Startup), 1);
    EXPECT_EQ(m_ui.messages.size(), 1u);
}

TEST_F(UpdateRun, InstallerFromAnotherHostOverPlainHttpIsRefused)
{
    // Same server, but named differently from the update service's address.
    AnswerUpdate("YES", "http://localhost:" + std::to_string(m_server->Port()) + "/files/setup.sh");
    EXPECT_EQ(Run(UpdateMode::Startup), 1);
    AnswerUpdate("NO", "http://localhost:" + std::to_string(m_server->Port()) + "/files/setup.sh");
    m_ui.answerYes = true;
    EXPECT_EQ(Run(UpdateMode::Interactive), 1);
    EXPECT_EQ(Texts(m_ui.messages), Messages{"Update: Network connection failed!"});
    EXPECT_FALSE(std::filesystem::exists(m_context.updateFolder + "/setup.sh"));
    EXPECT_TRUE(ReadFile(m_context.updateFolder + "/marker.txt").empty());
}

TEST_F(UpdateRun, MissingDownloadIsReportedUnlessSilent)
{
    AnswerUpdate("NO", m_server->BaseUrl() + "/files/missing.sh");
    m_ui.answerYes = true;
    EXPECT_EQ(Run(UpdateMode::Interactive), 1);
    EXPECT_EQ(Texts(m_ui.messages), Messages{"Update: Network connection failed!"});
    AnswerUpdate("YES", m_server->BaseUrl() + "/files/missing.sh");
    EXPECT_EQ(Run(UpdateMode::Interactive), 1);
    EXPECT_EQ(m_ui.messages.size(), 1u);
}

TEST_F(UpdateRun, WithoutProgressWindowNothingIsDownloaded)
{
    AnswerUpdate("NO", InstallerUrl());
    m_ui.answerYes = true;
    m_ui.progressPossible = false;
    EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(m_context.updateFolder + "/setup.sh"));
}

TEST_F(UpdateRun, PeriodicRunAddsTheMenuItemToARunningMainWindowInsteadOfAsking)
{
    AnswerUpdate("NO", InstallerUrl());
    m_mainWindow.running = true;
    EXPECT_EQ(Run(UpdateMode::Periodic), 1);
    EXPECT_EQ(m_mainWindow.askedFor, "Tessvale");
    EXPECT_EQ(m_mainWindow.requests, 1);
    EXPECT_TRUE(m_ui.questions.empty());
    // The start-up run asks even with the window there.
    EXPECT_EQ(Run(UpdateMode::Startup), 1);
    EXPECT_EQ(m_mainWindow.requests, 1);
    EXPECT_EQ(m_ui.questions.size(), 1u);
    // Without a main window the periodic run asks as well.
    m_mainWindow.running = false;
    EXPECT_EQ(Run(UpdateMode::Periodic), 1);
    EXPECT_EQ(m_ui.questions.size(), 2u);
}

TEST_F(UpdateRun, InstallerWithoutAValidSignatureIsNeitherStartedNorKept)
{
    m_ui.answerYes = true;
    const auto refused = [this](const std::string& silent) {
        AnswerUpdate(silent, InstallerUrl());
        EXPECT_EQ(Run(UpdateMode::Interactive), 1);
        EXPECT_TRUE(Downloaded().empty()) << "left behind: " << Downloaded().size();
    };
    // No signature beside it.
    std::filesystem::remove(m_root.File("files/setup.sh.sig"));
    refused("NO");
    refused("YES");
    // Signed by another key.
    ASSERT_TRUE(MakeSigningKey("stranger"));
    ASSERT_TRUE(Sign("files/setup.sh", "stranger"));
    refused("NO");
    // A good signature of another file.
    ASSERT_TRUE(WriteFile(m_root.File("files/setup.sh"), std::string(kInstallerScript) + "# changed\n"));
    ASSERT_TRUE(Sign("files/setup.sh", "signing"));
    ASSERT_TRUE(WriteFile(m_root.File("files/setup.sh"), kInstallerScript));
    refused("NO");
    // A signature that is no signature at all.
    ASSERT_TRUE(WriteFile(m_root.File("files/setup.sh.sig"), std::string(64, 'x')));
    refused("NO");
    // Every refusal not silent said the download failed, and nothing ran.
    EXPECT_EQ(Texts(m_ui.messages), Messages(4, "Update: Network connection failed!"));
    EXPECT_TRUE(ReadFile(m_context.updateFolder + "/marker.txt").empty());
}

TEST_F(UpdateRun, TheBuiltInKeyIsUsedWhenNoOtherIsGiven)
{
    // The installer is signed with the test's key, which the program was not built with.
    m_context.publicKeyPem.clear();
    AnswerUpdate("YES", InstallerUrl());
    EXPECT_EQ(Run(UpdateMode::Periodic), 1);
    EXPECT_TRUE(Downloaded().empty());
    EXPECT_TRUE(BuiltInUpdatePublicKey().starts_with("-----BEGIN PUBLIC KEY-----"));
}

TEST_F(UpdateRun, SignedInstallerReplacesAPlantedLinkInsteadOfWritingThroughIt)
{
    ASSERT_TRUE(std::filesystem::create_directories(m_context.updateFolder));
    const std::string victim = m_downloads.File("victim.txt");
    ASSERT_TRUE(WriteFile(victim, "keep me"));
    std::filesystem::create_symlink(victim, m_context.updateFolder + "/setup.sh");
    AnswerUpdate("YES", InstallerUrl());
    EXPECT_EQ(Run(UpdateMode::Startup), 1);
    EXPECT_EQ(WaitForMarker(), "args:[/VERYSILENT]\n");
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(m_context.updateFolder + "/setup.sh"));
    EXPECT_EQ(ReadFile(m_context.updateFolder + "/setup.sh"), kInstallerScript);
}

TEST_F(UpdateRun, BrokenServiceIsAFailedCheckInteractivelyAndQuietOtherwise)
{
    const std::vector<std::string> broken{
        // Cut off in the middle of the record.
        R"(<?xml version="1.0" encoding="utf-8"?><QmUpdate><Config><Config><id value="1"/><Update value="YE)",
        // An error page sent with status 200, once as HTML, once as well-formed XHTML.
        "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head><body><p>Bad Gateway<br></body></html>",
        "<html><body><h1>Service unavailable</h1></body></html>",
    };
    for (const std::string& answer : broken) {
        ASSERT_TRUE(WriteFile(m_root.File("updatesystem/update.php"), answer));
        EXPECT_EQ(Run(UpdateMode::Startup), 0);
        EXPECT_EQ(Run(UpdateMode::Periodic), 0);
        EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    }
    EXPECT_EQ(Texts(m_ui.messages),
              Messages(3, "Update: Update check failed: the update service sent no valid answer."));
    EXPECT_TRUE(m_ui.questions.empty());
    EXPECT_EQ(ClassifyUpdateAnswer(broken[0]), UpdateAnswerKind::Invalid);
    EXPECT_EQ(ClassifyUpdateAnswer("<QmUpdate><Config/></QmUpdate>"), UpdateAnswerKind::NoRecord);
}

TEST_F(UpdateRun, OversizedAnswerIsNoAnswer)
{
    // A proper record followed by more than a mebibyte of padding.
    AnswerUpdate("YES", InstallerUrl(), std::string(kMaxUpdateAnswerBytes, 'a'));
    EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    EXPECT_EQ(Texts(m_ui.messages), Messages{"Update: Network connection failed!"});
    EXPECT_TRUE(Downloaded().empty());
}

TEST_F(UpdateRun, SlowServiceEndsTheRunAtItsTimeLimit)
{
    // The service trickles its answer for a minute; the run may take one second.
    m_environment.Set("TESSVALE_UPDATE_SERVER", (m_server->BaseUrl() + "/slow/60").c_str());
    m_context.timeLimit = std::chrono::seconds(1);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(UpdateMode::Interactive), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(40));
    EXPECT_EQ(Texts(m_ui.messages), Messages{"Update: Network connection failed!"});
}

TEST_F(UpdateRun, OnlyOneRunAtATime)
{
    AnswerUpdate("NO", InstallerUrl());
    m_context.lockFile = m_downloads.File("update.lock");
    EXPECT_FALSE(IsUpdateRunActive(m_context.lockFile));
    {
        const UpdateRunLock other(m_context.lockFile);
        ASSERT_TRUE(other.Held());
        EXPECT_TRUE(IsUpdateRunActive(m_context.lockFile));
        EXPECT_FALSE(UpdateRunLock(m_context.lockFile).Held());
        EXPECT_EQ(Run(UpdateMode::Periodic), 0);
        EXPECT_TRUE(m_ui.messages.empty());
        EXPECT_EQ(Run(UpdateMode::Interactive), 0);
        EXPECT_EQ(Texts(m_ui.messages), Messages{"Update: An update check is already running."});
        EXPECT_TRUE(m_ui.questions.empty());
    }
    // Once the other run has ended, the next one goes ahead and leaves the lock free.
    EXPECT_FALSE(IsUpdateRunActive(m_context.lockFile));
    EXPECT_EQ(Run(UpdateMode::Startup), 1);
    EXPECT_EQ(m_ui.questions.size(), 1u);
    EXPECT_FALSE(IsUpdateRunActive(m_context.lockFile));
}

TEST(UpdateSignature, SignatureSitsBesideTheInstaller)
{
    EXPECT_EQ(SignatureUrl("https://h/files/setup.sh"), "https://h/files/setup.sh.sig");
    EXPECT_EQ(SignatureUrl("https://h/get/setup.sh?v=2"), "https://h/get/setup.sh.sig?v=2");
}

} // namespace
} // namespace tessvale
