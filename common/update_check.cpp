#include "common/update_check.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pugixml.hpp>
#include <sys/file.h>
#include <sys/stat.h>

#include "common/checked_output.h"
#include "common/http_client.h"
#include "common/interface_list.h"
#include "common/localization.h"
#include "common/machine_identity.h"
#include "common/paths.h"
#include "common/process_launcher.h"
#include "common/signature_check.h"
#include "common/temporary_file.h"
#include "common/text_util.h"
#include "common/unique_fd.h"

namespace tessvale {
namespace {

constexpr char kRequestPath[] = "/updatesystem/update.php?";
constexpr char kRecordPath[] = "//QmUpdate/Config/Config[id/@value='1']";

std::function<UpdateRunFrontEnd(int, char**)>& FrontEndFactory()
{
    static std::function<UpdateRunFrontEnd(int, char**)> factory;
    return factory;
}

// Without a user interface every message goes unseen and every question is answered No.
class HeadlessUpdateUi : public UpdateUi
{
public:
    void ShowMessage(const std::string& /*text*/, const std::string& /*caption*/) override {}
    bool AskYesNo(const std::string& /*text*/, const std::string& /*caption*/) override { return false; }
    std::unique_ptr<UpdateProgress> OpenProgress(const std::string& /*title*/) override { return nullptr; }
};

class NoMainWindow : public MainWindowLink
{
public:
    bool IsRunning(const std::string& /*productName*/) override { return false; }
    bool AddNewVersionMenuItem(const std::string& /*productName*/) override { return false; }
};

// The message box of the localisation service translates text and caption.
void ShowTranslated(UpdateUi& ui, const std::string& text, const std::string& caption)
{
    ui.ShowMessage(Translate(text), Translate(caption));
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    std::string result;
    std::size_t start = 0;
    for (std::size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, start)) {
        result.append(text.substr(start, at - start));
        result.append(to);
        start = at + from.size();
    }
    result.append(text.substr(start));
    return result;
}

// Scheme and host (without user, port or path) of an address, both in lower case.
void SplitAddress(const std::string& url, std::string& scheme, std::string& host)
{
    scheme.clear();
    host.clear();
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos) {
        return;
    }
    scheme = ToLowerAscii(url.substr(0, colon));
    std::string authority = url.substr(colon + 3, url.find_first_of("/?#", colon + 3) - (colon + 3));
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority.front() == '[') {
        host = ToLowerAscii(authority.substr(0, authority.find(']') + 1));
    } else {
        host = ToLowerAscii(authority.substr(0, authority.find(':')));
    }
}

// An installer is run only when it came over https or from the update service itself:
// a plain-http address elsewhere could hand anyone's program to this one.
bool IsTrustedInstallerSource(const std::string& url)
{
    std::string scheme;
    std::string host;
    SplitAddress(url, scheme, host);
    if (scheme == "https" && !host.empty()) {
        return true;
    }
    std::string serverScheme;
    std::string serverHost;
    SplitAddress(UpdateServer(), serverScheme, serverHost);
    return scheme == "http" && !host.empty() && host == serverHost;
}

void MakeExecutable(const std::string& path)
{
    struct stat info
    {};
    if (stat(path.c_str(), &info) == 0) {
        // Executable for whoever may read it.
        const mode_t mode = info.st_mode | S_IXUSR | ((info.st_mode & (S_IRGRP | S_IROTH)) >> 2);
        chmod(path.c_str(), mode & 07777);
    }
}

// Outcome of the download step.
enum class Download
{
    Done,     // the installer arrived and was started
    Failed,   // nothing usable arrived
    NoWindow, // the progress window could not be made: nothing was tried
};

// What one run knows while it goes: the user interface and the shared time limit.
struct RunState
{
    UpdateRunContext& context;
    UpdateUi& ui;
    std::chrono::steady_clock::time_point deadline;

    HttpOptions Options(std::uint64_t maxBytes) const
    {
        HttpOptions options;
        options.caFile = context.caFile;
        options.maxBytes = maxBytes;
        options.deadline = deadline;
        return options;
    }
};

// Downloads the installer's detached signature; empty when there is none.
std::string FetchSignature(const std::string& url, const RunState& state)
{
    return HttpGetText(SignatureUrl(url), state.Options(kMaxSignatureBytes));
}

// Downloads the installer into a new temporary file beside `installer` and moves it
// into place only when its signature verifies. False (nothing left behind) otherwise.
bool DownloadVerified(const std::string& url, const std::string& installer, const HttpProgress& report,
                      const RunState& state)
{
    std::string temporary;
    UniqueFd file = CreateTemporaryBeside(installer, temporary);
    if (!file.Valid()) {
        return false;
    }
    const std::uint64_t bytes = HttpDownloadToDescriptor(report, url, file.Get(), state.Options(kMaxInstallerBytes));
    const bool closed = file.Close();
    const std::string& key = state.context.publicKeyPem.empty() ? BuiltInUpdatePublicKey() : state.context.publicKeyPem;
    // Only a file that provably comes from the maker is ever started.
    if (bytes == 0 || !closed || !VerifyFileSignature(temporary, FetchSignature(url, state), key)) {
        IgnoreResult(std::remove(temporary.c_str()));
        return false;
    }
    return ReplaceWithTemporary(temporary, installer, 0700);
}

// Downloads the installer and starts it.
Download DownloadAndStart(const UpdateRecord& record, bool silentInstall, RunState& state)
{
    UpdateRunContext& context = state.context;
    const std::string folder = context.updateFolder.empty() ? ProgramSubfolder("Update") : context.updateFolder;
    const std::size_t slash = record.url.rfind('/');
    const std::string fileName = slash == std::string::npos ? record.url : record.url.substr(slash + 1);
    // No file name (a Url ending in "/") would make the folder itself the target.
    if (folder.empty() || fileName.empty() || fileName == "." || fileName == ".." ||
        !IsTrustedInstallerSource(record.url)) {
        return Download::Failed;
    }
    CreateDirectoryPath(folder);
    const std::string installer = folder + "/" + fileName;

    std::unique_ptr<UpdateProgress> progress;
    if (!silentInstall) {
        progress = state.ui.OpenProgress(record.productName + " Update");
        if (!progress) {
            return Download::NoWindow;
        }
    }
    HttpProgress report;
    if (progress) {
        report = [&progress](int percent) { progress->SetPercent(percent); };
    }
    const bool verified = DownloadVerified(record.url, installer, report, state);
    progress.reset();
    if (!verified) {
        return Download::Failed;
    }
    MakeExecutable(installer);
    std::vector<std::string> command{installer};
    if (silentInstall) {
        command.emplace_back("/VERYSILENT");
    }
    LaunchOptions options;
    options.workingFolder = ProgramFolder();
    options.showWindow = false;
    RunCommandLine(command, options);
    return Download::Done;
}

int MonthNumber(std::string_view name)
{
    static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        if (kMonths[i] == name) {
            return i + 1;
        }
    }
    return 0;
}

} // namespace

std::vector<std::string> UpdateCommandLine(UpdateMode mode, const std::string& programPath,
                                           const std::string& releaseTime, const std::string& machineId)
{
    std::vector<std::string> arguments{programPath, "-Upgrade"};
    if (mode == UpdateMode::Startup || mode == UpdateMode::Periodic) {
        arguments.emplace_back("-Silent");
    }
    if (mode == UpdateMode::Periodic) {
        arguments.emplace_back("-CheckUpdate");
    }
    arguments.push_back(std::string("-ProductName=") + kProductName);
    arguments.push_back("-ReleaseTime=" + UrlEncode(releaseTime));
    arguments.push_back("-MachineID=" + UrlEncode(machineId));
    return arguments;
}

std::string ReleaseTimeFrom(const char* buildDate, const char* buildTime)
{
    char month[4] = {};
    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (buildDate == nullptr || buildTime == nullptr || std::sscanf(buildDate, "%3s %d %d", month, &day, &year) != 3 ||
        std::sscanf(buildTime, "%d:%d:%d", &hour, &minute, &second) != 3 || MonthNumber(month) == 0) {
        return {};
    }
    char text[32];
    IgnoreResult(std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, MonthNumber(month), day, hour,
                               minute, second));
    return text;
}

std::string ReleaseTime()
{
    return ReleaseTimeFrom(__DATE__, __TIME__);
}

std::string UpdateServer()
{
    const char* configured = std::getenv("TESSVALE_UPDATE_SERVER");
    std::string server = configured != nullptr && *configured != '\0' ? configured : TESSVALE_UPDATE_SERVER;
    while (!server.empty() && server.back() == '/') {
        server.pop_back();
    }
    return server;
}

std::string UpdateRequestUrl(const std::string& server, const std::vector<std::string>& arguments)
{
    std::string url = server + kRequestPath;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].empty()) {
            url += arguments[i].substr(1);
        }
        url += '&';
    }
    if (arguments.size() > 1) {
        url.pop_back();
    }
    return url;
}

bool LaunchUpdateCheck(int mode)
{
    // One update run at a time: the timer and the start-up do not start a second beside
    // a running one. An interactive check is started and says so itself.
    if (mode < 0 || mode > 2 || (mode != 0 && IsUpdateRunActive(UpdateRunLockPath()))) {
        return false;
    }
    const std::vector<std::string> command = UpdateCommandLine(static_cast<UpdateMode>(mode), ProgramPath(),
                                                               ReleaseTime(), MachineId(MachineIdKind::Combined));
    LaunchOptions options;
    options.workingFolder = ProgramFolder();
    options.showWindow = true;
    return RunCommandLine(command, options);
}

namespace {

// The answer as a document; false when it is not a whole XML document.
bool LoadAnswer(const std::string& answer, pugi::xml_document& document)
{
    return static_cast<bool>(
        document.load_buffer(answer.data(), answer.size(), pugi::parse_default, pugi::encoding_utf8));
}

pugi::xml_node SelectRecord(const pugi::xml_document& document)
{
    try {
        return document.select_node(kRecordPath).node();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

} // namespace

std::optional<UpdateRecord> ParseUpdateAnswer(const std::string& answer)
{
    pugi::xml_document document;
    if (!LoadAnswer(answer, document)) {
        return std::nullopt;
    }
    const pugi::xml_node record = SelectRecord(document);
    if (!record) {
        return std::nullopt;
    }
    const auto value = [&record](const char* child) {
        return std::string(record.child(child).attribute("value").value());
    };
    UpdateRecord result;
    result.update = value("Update");
    result.silent = value("Silent");
    result.productName = value("ProductName");
    result.info = value("Info");
    result.url = value("Url");
    return result;
}

UpdateAnswerKind ClassifyUpdateAnswer(const std::string& answer)
{
    pugi::xml_document document;
    // An error page or a cut answer is no answer of the service, whatever its status.
    if (!LoadAnswer(answer, document) || std::string_view(document.document_element().name()) != "QmUpdate") {
        return UpdateAnswerKind::Invalid;
    }
    return SelectRecord(document) ? UpdateAnswerKind::Record : UpdateAnswerKind::NoRecord;
}

std::string SignatureUrl(const std::string& url)
{
    const std::size_t end = url.find_first_of("?#");
    if (end == std::string::npos) {
        return url + ".sig";
    }
    return url.substr(0, end) + ".sig" + url.substr(end);
}

UpdateRunLock::UpdateRunLock(const std::string& path)
{
    if (path.empty()) {
        return;
    }
    UniqueFd file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    // The descriptor is not inherited (O_CLOEXEC), so a started installer does not keep
    // the lock after the run has ended.
    if (file.Valid() && ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0) {
        m_file = std::move(file);
    }
}

UpdateRunLock::~UpdateRunLock() = default;

std::string UpdateRunLockPath()
{
    const std::string folder = DataFolder();
    if (folder.empty() || !CreateDirectoryPath(folder)) {
        return {};
    }
    return folder + "/update.lock";
}

bool IsUpdateRunActive(const std::string& path)
{
    if (path.empty()) {
        return false;
    }
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    // No file: no run has ever held it.
    return file.Valid() && ::flock(file.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

bool IsNetworkConnected()
{
    const auto interfaces = ReadInterfaceAddresses();
    return std::any_of(interfaces.begin(), interfaces.end(),
                       [](const InterfaceAddress& item) { return item.up && !item.loopback; });
}

namespace {

// Asks about the new version, or hands the news to the running main window. True when
// the download is to go ahead; `handled` is the run's result otherwise.
bool AgreeToUpgrade(const UpdateRecord& record, bool menuOnly, MainWindowLink& mainWindow, RunState& state)
{
    if (menuOnly && mainWindow.IsRunning(record.productName)) {
        mainWindow.AddNewVersionMenuItem(record.productName);
        return false;
    }
    std::string text = record.productName + " " + Translate(kQuestionUpgrade);
    if (!record.info.empty()) {
        text += "\n" + record.info;
    }
    text = ReplaceAll(text, "\\n", "\n");
    // The user's time to answer does not count against the run's transfers.
    const auto asked = std::chrono::steady_clock::now();
    const bool yes = state.ui.AskYesNo(Translate(text), Translate(record.productName + " Update"));
    state.deadline += std::chrono::steady_clock::now() - asked;
    return yes;
}

// The service's record, or nothing after the message the mode calls for.
std::optional<UpdateRecord> FetchRecord(const std::string& url, bool quiet, const RunState& state)
{
    const auto show = [&](const char* message) {
        if (!quiet) {
            ShowTranslated(state.ui, message, kUpdateCaption);
        }
    };
    if (state.context.isConnected && !state.context.isConnected()) {
        show(kMessageNetworkFailed);
        return std::nullopt;
    }
    const std::string answer = HttpGetText(url, state.Options(kMaxUpdateAnswerBytes));
    if (answer.empty()) {
        show(kMessageNetworkFailed);
        return std::nullopt;
    }
    switch (ClassifyUpdateAnswer(answer)) {
    case UpdateAnswerKind::Invalid:
        show(kMessageCheckFailed);
        return std::nullopt;
    case UpdateAnswerKind::NoRecord:
        show(kMessageNoRecord);
        return std::nullopt;
    case UpdateAnswerKind::Record:
        break;
    }
    std::optional<UpdateRecord> record = ParseUpdateAnswer(answer);
    if (record && !EqualsNoCase(record->update, "YES")) {
        show(kMessageUpToDate);
        return std::nullopt;
    }
    return record;
}

// The run itself, once it holds the lock.
int RunLockedUpdateCheck(const std::vector<std::string>& arguments, RunState& state, MainWindowLink& mainWindow,
                         bool quiet, bool menuOnly)
{
    const std::optional<UpdateRecord> record = FetchRecord(UpdateRequestUrl(UpdateServer(), arguments), quiet, state);
    if (!record) {
        return 0;
    }
    const bool silentInstall = EqualsNoCase(record->silent, "YES");
    if (!silentInstall && !AgreeToUpgrade(*record, menuOnly, mainWindow, state)) {
        return 1;
    }
    switch (DownloadAndStart(*record, silentInstall, state)) {
    case Download::NoWindow:
        return 0;
    case Download::Failed:
        if (!silentInstall) {
            ShowTranslated(state.ui, kMessageNetworkFailed, kUpdateCaption);
        }
        return 1;
    case Download::Done:
        break;
    }
    return 1;
}

} // namespace

int RunUpdateCheck(const std::vector<std::string>& arguments, UpdateRunContext& context)
{
    if (arguments.size() < 2 || !EqualsNoCase(arguments[1], "-Upgrade")) {
        return -1;
    }
    HeadlessUpdateUi headless;
    NoMainWindow noMainWindow;
    UpdateUi& ui = context.ui != nullptr ? *context.ui : headless;
    MainWindowLink& mainWindow = context.mainWindow != nullptr ? *context.mainWindow : noMainWindow;

    bool quiet = false;
    bool menuOnly = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string name = arguments[i].empty() ? std::string() : arguments[i].substr(1);
        quiet = quiet || EqualsNoCase(name, "silent");
        menuOnly = menuOnly || EqualsNoCase(name, "checkupdate");
    }
    const UpdateRunLock lock(context.lockFile);
    if (!context.lockFile.empty() && !lock.Held()) {
        if (!quiet) {
            ShowTranslated(ui, kMessageAlreadyRunning, kUpdateCaption);
        }
        return 0;
    }
    RunState state{context, ui, std::chrono::steady_clock::now() + context.timeLimit};
    return RunLockedUpdateCheck(arguments, state, mainWindow, quiet, menuOnly);
}

void SetUpdateRunFrontEnd(std::function<UpdateRunFrontEnd(int argc, char** argv)> factory)
{
    FrontEndFactory() = std::move(factory);
}

int RunUpdateCheck(int argc, char** argv)
{
    if (argc < 2 || !EqualsNoCase(argv[1], "-Upgrade")) {
        return -1;
    }
    UpdateRunFrontEnd frontEnd;
    if (FrontEndFactory()) {
        frontEnd = FrontEndFactory()(argc, argv);
    }
    UpdateRunContext context;
    context.ui = frontEnd.ui.get();
    context.mainWindow = frontEnd.mainWindow.get();
    context.lockFile = UpdateRunLockPath();
    return RunUpdateCheck(std::vector<std::string>(argv, argv + argc), context);
}

} // namespace tessvale
