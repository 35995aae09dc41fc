// The update check, run in a second copy of the program started with "-Upgrade".
//
// The main window never checks itself: LaunchUpdateCheck starts the program again as
//   PROGRAM -Upgrade [-Silent [-CheckUpdate]] -ProductName=Tessvale -ReleaseTime=T -MachineID=M
// (every item one argument, values URL-encoded), and that update run asks the update
// service, shows what the user must see, downloads the installer and starts it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_fd.h"

namespace tessvale {

// The ways into the update run.
enum class UpdateMode
{
    Interactive = 0, // "Check for Updates": every outcome is shown, the user is asked
    Startup = 1,     // start-up with "AutoUpdate": quiet unless a new version exists
    Periodic = 2,    // timer 2 with "AutoUpdate": quiet; a running main window gets a menu item
};

// Command id of the Help menu's "Check for Updates" item, which the periodic run's menu
// item "New version available!" shares.
inline constexpr int kCheckForUpdatesCommand = 32809;
inline constexpr char kNewVersionMenuText[] = "New version available!";
inline constexpr char kProductName[] = "Tessvale";

// Messages of the update run, in English; they pass through Translate before they are shown.
inline constexpr char kMessageNetworkFailed[] = "Network connection failed!";
inline constexpr char kMessageNoRecord[] = "Already update to date!";
inline constexpr char kMessageUpToDate[] = "Already up to date!";
inline constexpr char kQuestionUpgrade[] = "New version available. Upgrade now?";
inline constexpr char kUpdateCaption[] = "Update";
inline constexpr char kMessageCheckFailed[] = "Update check failed: the update service sent no valid answer.";
inline constexpr char kMessageAlreadyRunning[] = "An update check is already running.";

// Limits of the update run: the service's answer, the installer's signature and the
// installer itself, and the time all transfers of one run may take together (the time
// a question waits for the user does not count).
inline constexpr std::uint64_t kMaxUpdateAnswerBytes = 1024ULL * 1024;
inline constexpr std::uint64_t kMaxSignatureBytes = 4096;
inline constexpr std::uint64_t kMaxInstallerBytes = 512ULL * 1024 * 1024;
inline constexpr std::chrono::seconds kUpdateRunTimeLimit{120};

// The arguments of the update run for a mode, the program's path first.
std::vector<std::string> UpdateCommandLine(UpdateMode mode, const std::string& programPath,
                                           const std::string& releaseTime, const std::string& machineId);

// The build's date and time stamps ("Oct  9 2015", "16:03:37") as "2015-10-09 16:03:37";
// empty when they cannot be read.
std::string ReleaseTimeFrom(const char* buildDate, const char* buildTime);

// The release time of this program (when it was built).
std::string ReleaseTime();

// Base address of the update service: TESSVALE_UPDATE_SERVER from the environment, else
// the one the program was built with; never with a trailing "/".
std::string UpdateServer();

// The request: service address + "/updatesystem/update.php?" + every argument after the
// program's path without its first character, joined by "&".
std::string UpdateRequestUrl(const std::string& server, const std::vector<std::string>& arguments);

// Starts the update run for mode 0, 1 or 2 without waiting. True when it was started;
// false also for the start-up and periodic modes while another update run of this user
// is still going.
bool LaunchUpdateCheck(int mode);

// The record of the update service's answer that the program uses (the one with id 1).
struct UpdateRecord
{
    std::string update;      // "YES" (any case): a newer version exists
    std::string silent;      // "YES" (any case): install without question or progress window
    std::string productName; // also names the running main window
    std::string info;        // release notes; a backslash-n pair stands for a line break
    std::string url;         // where the installer is
};

// The record with id 1 of an answer; nothing when the answer is not XML or has none.
std::optional<UpdateRecord> ParseUpdateAnswer(const std::string& answer);

// What an answer of the update service turned out to be.
enum class UpdateAnswerKind
{
    Invalid,  // not a whole XML document with the root "QmUpdate" (an error page, a cut answer)
    NoRecord, // a proper answer without the record with id 1
    Record,   // the record is there
};
UpdateAnswerKind ClassifyUpdateAnswer(const std::string& answer);

// The address of the detached signature beside an installer: ".sig" appended to the
// path of `url` (before any query).
std::string SignatureUrl(const std::string& url);

// While one update run holds it, no second one starts. Taken by the update run for its
// whole life (an advisory lock on the file); released when the object goes.
class UpdateRunLock
{
public:
    // Takes the lock on `path` (created when missing); an invalid object when another
    // process holds it or the file cannot be opened.
    explicit UpdateRunLock(const std::string& path);
    bool Held() const { return m_file.Valid(); }
    ~UpdateRunLock();
    UpdateRunLock(const UpdateRunLock&) = delete;
    UpdateRunLock& operator=(const UpdateRunLock&) = delete;

private:
    UniqueFd m_file;
};

// The lock file of this user's update runs (in the data folder).
std::string UpdateRunLockPath();

// True while some process holds the update-run lock on `path`.
bool IsUpdateRunActive(const std::string& path);

// The progress window of a download.
class UpdateProgress
{
public:
    virtual ~UpdateProgress() = default;
    // Percentage received, or -1 while the length is unknown. Called on the update
    // run's thread during the download; the window keeps itself responsive in it.
    virtual void SetPercent(int percent) = 0;
};

// What the update run shows. Texts arrive translated.
class UpdateUi
{
public:
    virtual ~UpdateUi() = default;
    // A message with the information icon, always on top.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // A Yes/No question, always on top. True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    // Opens the progress window with that title; nothing when it cannot be made.
    virtual std::unique_ptr<UpdateProgress> OpenProgress(const std::string& title) = 0;
};

// The running main window of the product, as the update run reaches it.
class MainWindowLink
{
public:
    virtual ~MainWindowLink() = default;
    // True when the product's main window runs for this user.
    virtual bool IsRunning(const std::string& productName) = 0;
    // Asks it to append "New version available!" (command 32809) to its menu bar unless
    // its last item already is that command. True when the request was delivered.
    virtual bool AddNewVersionMenuItem(const std::string& productName) = 0;
};

// True when some interface other than loopback is up with an IPv4 address.
bool IsNetworkConnected();

// The update run's environment; tests replace parts of it.
struct UpdateRunContext
{
    UpdateUi* ui = nullptr;
    MainWindowLink* mainWindow = nullptr;
    std::function<bool()> isConnected = IsNetworkConnected;
    // Where installers are downloaded; empty: the "Update" folder beside the program.
    std::string updateFolder;
    // The key the installer's signature must verify against; empty: the built-in one.
    std::string publicKeyPem;
    // Trust anchors for https instead of the system's (tests).
    std::string caFile;
    // When not empty, the run holds the update-run lock on this file and ends at once
    // when another run holds it.
    std::string lockFile;
    // How long the transfers of one run may take together.
    std::chrono::milliseconds timeLimit = kUpdateRunTimeLimit;
};

// The update run with the given arguments (the program's path first). Returns -1 when
// they do not make an update run (the first argument is not "-Upgrade", any case);
// otherwise 1 when a new version was handled (menu item added, question answered,
// download attempted) and 0 in every other case.
int RunUpdateCheck(const std::vector<std::string>& arguments, UpdateRunContext& context);

// Gives the update run its user interface; the GUI sets one before start-up calls
// RunUpdateCheck. The factory is called only when the process is an update run.
struct UpdateRunFrontEnd
{
    std::unique_ptr<UpdateUi> ui;
    std::unique_ptr<MainWindowLink> mainWindow;
};
void SetUpdateRunFrontEnd(std::function<UpdateRunFrontEnd(int argc, char** argv)> factory);

// Update-run side, called by start-up right after the crash handler. Returns -1 when
// this process is not an update run (the first argument is not "-Upgrade", any case);
// otherwise performs the check and returns 1 when a new version was handled, else 0.
int RunUpdateCheck(int argc, char** argv);

} // namespace tessvale
