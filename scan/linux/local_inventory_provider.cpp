#include "scan/linux/local_inventory_provider.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <vector>

#include "common/file_util.h"
#include "common/text_util.h"
#include "scan/host_inventory_query.h"
#include "scan/samba_config.h"

namespace tessvale {
namespace {

std::optional<std::uint64_t> ParseUnsigned(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

// The value of a "KEY=value" line of os-release, without its shell quoting.
std::optional<std::string> OsReleaseValue(const std::string& text, std::string_view key)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (line.size() <= key.size() || !line.starts_with(key) || line[key.size()] != '=') {
            continue;
        }
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            const char quote = value.front();
            value = value.substr(1, value.size() - 2);
            if (quote == '"') {
                std::string unescaped;
                for (std::size_t i = 0; i < value.size(); ++i) {
                    if (value[i] == '\\' && i + 1 < value.size()) {
                        ++i;
                    }
                    unescaped += value[i];
                }
                value = unescaped;
            }
        }
        return value;
    }
    return std::nullopt;
}

// The value after the colon of the first "key : value" line with this key.
std::optional<std::string> ColonValue(const std::string& text, std::string_view key)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && Trim(line.substr(0, colon)) == key) {
            return Trim(line.substr(colon + 1));
        }
    }
    return std::nullopt;
}

constexpr std::chrono::milliseconds kOwnServerBound{1000};
constexpr std::size_t kMaxCommandLine = std::size_t{64} * 1024;

// The configuration file a command line of smbd names, else fallback.
std::string ConfigOfCommandLine(const std::string& commandLine, const std::string& fallback)
{
    std::vector<std::string> arguments;
    std::istringstream parts(commandLine);
    for (std::string argument; std::getline(parts, argument, '\0');) {
        arguments.push_back(argument);
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if ((argument == "-s" || argument == "--configfile") && i + 1 < arguments.size()) {
            return arguments[i + 1];
        }
        if (argument.starts_with("--configfile=")) {
            return argument.substr(std::string_view("--configfile=").size());
        }
        if (argument.starts_with("-s") && argument.size() > 2) {
            return argument.substr(2);
        }
    }
    return fallback;
}

std::string NamespaceLink(const std::filesystem::path& link)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(link, error);
    return error ? std::string() : target.string();
}

class LocalSession : public InventorySession
{
public:
    LocalSession(const LocalInventoryPaths& paths, std::optional<std::string> sambaConfig)
        : m_paths(paths), m_sambaConfig(std::move(sambaConfig))
    {}

    bool Query(InventoryItem item, InventoryObjects& objects) override
    {
        objects.clear();
        switch (item) {
        case InventoryItem::SystemVersion:
            return SystemVersion(objects);
        case InventoryItem::Processor:
            return Processor(objects);
        case InventoryItem::Memory:
            return Memory(objects);
        case InventoryItem::Shares:
            return Shares(objects);
        case InventoryItem::AdapterSpeed:
            return AdapterSpeed(objects);
        }
        return false;
    }

private:
    // What pick finds in the first of the files at paths that can be read; false when none
    // can, no value when pick finds none.
    template <typename Pick>
    static bool FileValue(std::initializer_list<const std::string*> paths, Pick pick, InventoryObjects& objects)
    {
        std::string text;
        if (std::none_of(paths.begin(), paths.end(),
                         [&text](const std::string* path) { return ReadWholeFile(*path, text); })) {
            return false;
        }
        if (const std::optional<std::string> value = pick(text)) {
            objects.emplace_back(CellText(*value));
        }
        return true;
    }

    bool SystemVersion(InventoryObjects& objects) const
    {
        return FileValue(
            {&m_paths.osRelease, &m_paths.osReleaseFallback},
            [](const std::string& text) { return OsReleaseValue(text, "PRETTY_NAME"); }, objects);
    }

    bool Processor(InventoryObjects& objects) const
    {
        return FileValue(
            {&m_paths.cpuInfo}, [](const std::string& text) { return ColonValue(text, "model name"); }, objects);
    }

    bool Memory(InventoryObjects& objects) const
    {
        std::string text;
        if (!ReadWholeFile(m_paths.memInfo, text)) {
            return false;
        }
        const std::optional<std::string> total = ColonValue(text, "MemTotal"); // "16303492 kB"
        if (!total) {
            return true;
        }
        const std::optional<std::uint64_t> kib = ParseUnsigned(*total);
        if (!kib) {
            return false;
        }
        objects.emplace_back(std::to_string(*kib * 1024));
        return true;
    }

    // What the running Samba server serves: the shares of the configuration it reads,
    // the user shares and the IPC$ that it always offers.
    bool Shares(InventoryObjects& objects) const
    {
        if (!m_sambaConfig) {
            return true; // no Samba server running, no shares
        }
        std::string text;
        ReadWholeFile(*m_sambaConfig, text);
        const std::vector<SambaSection> sections = ParseSambaConfig(text);
        for (const std::string& name : SambaConfigShares(sections)) {
            objects.emplace_back(CellText(name));
        }
        for (const std::string& name : SambaUserShares(SambaUserShareFolder(sections))) {
            objects.emplace_back(CellText(name));
        }
        objects.emplace_back("IPC$");
        return true;
    }

    bool AdapterSpeed(InventoryObjects& objects) const
    {
        std::error_code error;
        std::vector<std::pair<std::uint64_t, std::filesystem::path>> adapters;
        for (const auto& entry : std::filesystem::directory_iterator(m_paths.netClass, error)) {
            std::string index;
            ReadWholeFile((entry.path() / "ifindex").string(), index);
            adapters.emplace_back(ParseUnsigned(Trim(index)).value_or(UINT64_MAX), entry.path());
        }
        if (error) {
            return false;
        }
        std::sort(adapters.begin(), adapters.end());
        for (const auto& [index, path] : adapters) {
            std::string state;
            std::string speed;
            if (!ReadWholeFile((path / "operstate").string(), state) || Trim(state) != "up" ||
                !ReadWholeFile((path / "speed").string(), speed)) {
                continue;
            }
            // Adapters without a link speed (virtual ones) report -1 or fail the read.
            const std::optional<std::uint64_t> mbit = ParseUnsigned(Trim(speed));
            if (mbit && *mbit > 0) {
                objects.emplace_back(std::to_string(*mbit * 1000000));
                break;
            }
        }
        return true;
    }

    const LocalInventoryPaths& m_paths;
    std::optional<std::string> m_sambaConfig;
};

class LocalInventoryProvider : public InventoryProvider
{
public:
    LocalInventoryProvider(LocalInventoryPaths paths, SambaServerProbe sambaServer)
        : m_paths(std::move(paths)), m_sambaServer(std::move(sambaServer))
    {}

    bool Answers(InventoryItem) const override { return true; }

    std::unique_ptr<InventorySession> Connect(const std::string& address, const InventoryIdentity*) override
    {
        return std::make_unique<LocalSession>(m_paths, m_sambaServer ? m_sambaServer(address) : std::nullopt);
    }

private:
    LocalInventoryPaths m_paths;
    SambaServerProbe m_sambaServer;
};

} // namespace

std::optional<std::string> RunningSambaConfig(const std::string& procFolder, const std::string& defaultConfig,
                                              const std::function<bool()>& serverAnswers)
{
    namespace fs = std::filesystem;
    const std::string ownNetwork = NamespaceLink(fs::path(procFolder) / "thread-self" / "ns" / "net");
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(procFolder, error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        std::string name;
        if (!ReadWholeFile((entry.path() / "comm").string(), name) || Trim(name) != "smbd") {
            continue;
        }
        const std::string network = NamespaceLink(entry.path() / "ns" / "net");
        if (!network.empty() && !ownNetwork.empty() && network != ownNetwork) {
            continue; // the server of another network
        }
        std::string commandLine;
        ReadWholeFile((entry.path() / "cmdline").string(), commandLine);
        commandLine.resize(std::min(commandLine.size(), kMaxCommandLine));
        if (!serverAnswers()) {
            return std::nullopt;
        }
        const fs::path file = ConfigOfCommandLine(commandLine, defaultConfig);
        // A relative name is smbd's own: from the folder it was started in.
        const std::string folder = file.is_relative() ? NamespaceLink(entry.path() / "cwd") : std::string();
        return folder.empty() ? file.string() : (fs::path(folder) / file).string();
    }
    return std::nullopt;
}

std::unique_ptr<InventoryProvider> MakeLocalInventoryProvider(const LocalInventoryPaths& paths,
                                                              SambaServerProbe sambaServer)
{
    return std::make_unique<LocalInventoryProvider>(paths, std::move(sambaServer));
}

std::unique_ptr<InventoryProvider> MakeLocalInventoryProvider(const LocalInventoryPaths& paths)
{
    return MakeLocalInventoryProvider(paths, [paths](const std::string& address) {
        return RunningSambaConfig(paths.proc, paths.smbConf,
                                  [&address] { return SmbServerAnswers(address, kOwnServerBound); });
    });
}

std::unique_ptr<InventoryProvider> MakeLocalInventoryProvider()
{
    return MakeLocalInventoryProvider(LocalInventoryPaths());
}

} // namespace tessvale
