#include "app/logic/scan_baseline.h"

#include <cerrno>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "app/logic/baseline_csv_reader.h"
#include "app/logic/json_line_reader.h"
#include "common/text_util.h"
#include "common/unique_fd.h"
#include "scan/address_forms.h"
#include "scan/host_record.h"
#include "store/config_store.h"
#include "store/host_columns.h"

namespace tessvale {
namespace {

// The column an earlier comparison added after the nine, and the word of its gone rows.
constexpr std::string_view kChangeColumn = ColumnOf(kColumnChange).name;
constexpr std::string_view kGoneWord = "gone";
constexpr std::size_t kShownChars = 40;
constexpr std::size_t kShownPathChars = 400;

using Fields = CsvFields;

// A piece of the file as a message may quote it: control characters blanked, cut.
std::string Shown(std::string_view text, std::size_t chars = kShownChars)
{
    std::string shown = BlankControlCharacters(CutToCapacity(text, chars + 1));
    if (text.size() > shown.size()) {
        shown += "...";
    }
    return shown;
}

// Collects the rows of any form and turns them into hosts. The first row is a header
// when its first field is "IP"; its "Change" column (or the tenth of a row without a
// header) marks the gone rows of an earlier comparison.
class RowCollector
{
public:
    explicit RowCollector(std::vector<HostSnapshot>& hosts) : m_hosts(hosts) {}

    bool AddRow(std::size_t line, const Fields& fields, std::string& error)
    {
        const bool first = !m_sawRow;
        m_sawRow = true;
        if (first && !fields.empty() && EqualsNoCase(Trim(fields[0]), ColumnOf(kColumnIp).name)) {
            m_changeIndex = std::nullopt;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (EqualsNoCase(Trim(fields[i]), kChangeColumn)) {
                    m_changeIndex = i;
                }
            }
            m_header = true;
            return true;
        }
        if (fields.size() < 3) {
            error = LineError(line, "a scan's line has at least the fields " + std::string(ColumnOf(kColumnIp).name) +
                                        ", " + std::string(ColumnOf(kColumnMac).name) + " and " +
                                        std::string(ColumnOf(kColumnHostName).name));
            return false;
        }
        return AddHost(line, fields[0], fields[1], fields[2], ChangeOf(fields), error);
    }

    bool AddHost(std::size_t line, const std::string& ip, const std::string& mac, const std::string& name,
                 std::string_view change, std::string& error)
    {
        const std::string address = Trim(ip);
        if (!ParseDottedQuad(address)) {
            error = LineError(line, "'" + Shown(ip) + "' is not an IPv4 address");
            return false;
        }
        if (Trim(change) == kGoneWord) {
            return true;
        }
        HostSnapshot host;
        SetField(host.ip, address, HostRecord::kIpCapacity);
        SetField(host.mac, Trim(mac), HostRecord::kMacCapacity);
        SetField(host.name, Trim(name), HostRecord::kHostNameCapacity);
        m_hosts.push_back(std::move(host));
        return true;
    }

private:
    std::string_view ChangeOf(const Fields& fields) const
    {
        const std::optional<std::size_t> index = m_header ? m_changeIndex : std::optional<std::size_t>{9};
        if (index && *index < fields.size()) {
            return fields[*index];
        }
        return {};
    }

    std::vector<HostSnapshot>& m_hosts;
    bool m_sawRow = false;
    bool m_header = false;
    std::optional<std::size_t> m_changeIndex;
};

// Calls `each` with every line (without its line end) and its number; false with a
// message at the first line longer than kMaxBaselineLine or when `each` fails.
template <typename Each> bool ForEachLine(std::string_view text, std::string& error, Each each)
{
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.size() > kMaxBaselineLine) {
            error = LineError(number, "longer than " + std::to_string(kMaxBaselineLine) + " bytes");
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (Trim(line).empty()) {
            continue;
        }
        if (!each(number, line)) {
            return false;
        }
    }
    return true;
}

bool ParseTsv(std::string_view text, RowCollector& rows, std::string& error)
{
    return ForEachLine(text, error, [&](std::size_t number, std::string_view line) {
        Fields fields;
        std::size_t start = 0;
        while (true) {
            const std::size_t tab = line.find('\t', start);
            fields.emplace_back(
                line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
            if (tab == std::string_view::npos) {
                break;
            }
            start = tab + 1;
        }
        return rows.AddRow(number, fields, error);
    });
}

bool ParseJson(std::string_view text, RowCollector& rows, std::string& error)
{
    return ForEachLine(text, error, [&](std::size_t number, std::string_view line) {
        JsonMembers members;
        if (!ReadJsonLine(line, members)) {
            error = LineError(number, "not an object of texts as the scan writes it: " + Shown(line));
            return false;
        }
        const std::string* values[4] = {nullptr, nullptr, nullptr, nullptr};
        constexpr std::string_view kKeys[4] = {ColumnOf(kColumnIp).name, ColumnOf(kColumnMac).name,
                                               ColumnOf(kColumnHostName).name, kChangeColumn};
        for (const auto& [key, value] : members) {
            for (std::size_t i = 0; i < 4; ++i) {
                if (key == kKeys[i]) {
                    values[i] = &value;
                }
            }
        }
        if (values[0] == nullptr) {
            error = LineError(number, "an object without \"IP\"");
            return false;
        }
        const std::string none;
        return rows.AddHost(number, *values[0], values[1] ? *values[1] : none, values[2] ? *values[2] : none,
                            values[3] ? std::string_view(*values[3]) : std::string_view(), error);
    });
}

} // namespace

BaselineForm DetectBaselineForm(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string line = Trim(text.substr(0, end));
        if (!line.empty()) {
            if (line.front() == '{') {
                return BaselineForm::Json;
            }
            return line.find('\t') != std::string::npos ? BaselineForm::Tsv : BaselineForm::Csv;
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return BaselineForm::Tsv;
}

bool ParseBaseline(std::string_view text, std::vector<HostSnapshot>& hosts, std::string& error)
{
    hosts.clear();
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3); // a byte-order mark an editor may have added
    }
    RowCollector rows(hosts);
    bool parsed = false;
    switch (DetectBaselineForm(text)) {
    case BaselineForm::Tsv:
        parsed = ParseTsv(text, rows, error);
        break;
    case BaselineForm::Csv:
        parsed = CsvReader(text, [&rows](std::size_t line, const CsvFields& fields, std::string& failure) {
                     return rows.AddRow(line, fields, failure);
                 }).Read(error);
        break;
    case BaselineForm::Json:
        parsed = ParseJson(text, rows, error);
        break;
    }
    if (!parsed) {
        hosts.clear();
    }
    return parsed;
}

bool ReadBaselineFile(const std::string& path, std::vector<HostSnapshot>& hosts, std::string& error,
                      std::string* warning)
{
    const std::string shownPath = "'" + Shown(path, kShownPathChars) + "'";
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info
    {};
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0) {
        error = shownPath + ": " + std::generic_category().message(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = shownPath + " is not a regular file";
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxBaselineBytes) {
        error = shownPath + " is larger than " + std::to_string(kMaxBaselineBytes / (1024ULL * 1024)) +
                " MiB; it is no scan output";
        return false;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = shownPath + ": " + std::generic_category().message(errno);
            return false;
        }
        if (n == 0) {
            break; // the file shrank while it was read
        }
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    // A scan never writes UTF-16; an editor or a Windows shell's redirection may have.
    if ((text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) ||
        text.find('\0') != std::string::npos) {
        error = shownPath + " is UTF-16 text (or holds NUL bytes), not the UTF-8 a scan writes; save it as UTF-8";
        return false;
    }
    if (!ParseBaseline(text, hosts, error)) {
        error = shownPath + ", " + error;
        return false;
    }
    if (hosts.empty() && warning != nullptr) {
        // A scan that found nothing writes nothing, so this is no error; but every host
        // of the scan will count as new, which is worth a word.
        *warning = shownPath + (Trim(text).empty() ? " is empty" : " holds no host, only a header") +
                   ": every host that answers counts as new";
    }
    return true;
}

namespace {

bool StoredBaselineHeld(ConfigStore& store, const std::string& name, std::vector<HostSnapshot>& hosts)
{
    std::vector<ConfigRecord> results;
    store.ListRecords(MakeResultRecord(), results);
    const ConfigRecord* chosen = nullptr;
    for (const ConfigRecord& result : results) {
        if (result.Value(kResultName) == name) {
            chosen = &result;
            break;
        }
    }
    if (chosen == nullptr) {
        return false;
    }
    // Only the items of that result: a large document holds hundreds of thousands.
    std::vector<ConfigRecord> items;
    store.ListRecordsWhere(MakeItemRecord(), kItemResultId, chosen->id, items);
    hosts.clear();
    hosts.reserve(items.size());
    for (const ConfigRecord& item : items) {
        hosts.push_back({item.Value(kItemIp), item.Value(kItemMac), item.Value(kItemHostName), {}});
    }
    return true;
}

} // namespace

bool StoredBaseline(ConfigStore& store, const std::string& name, std::vector<HostSnapshot>& hosts)
{
    return store.Atomically([&](ConfigStore& held) { return StoredBaselineHeld(held, name, hosts); });
}

bool LoadStoreForBaseline(ConfigStore& store, const std::string& path, const std::string& nameOrFile)
{
    return store.LoadSelected(path, {MakeResultRecord(), kResultName, nameOrFile, MakeItemRecord(), kItemResultId});
}

bool LoadBaseline(ConfigStore& store, const std::string& nameOrFile, std::vector<HostSnapshot>& hosts,
                  std::string& error, std::string* warning)
{
    if (StoredBaseline(store, nameOrFile, hosts)) {
        return true;
    }
    struct stat info
    {};
    if (::stat(nameOrFile.c_str(), &info) != 0 && errno == ENOENT) {
        if (store.LastLoadUnusable()) {
            // The result may well be in the file: say why it could not be looked at.
            error = "no stored result can be read, as the configuration file " + Shown(store.Path(), kShownPathChars) +
                    " is not used (" + store.LastLoadProblem() + "), and there is no file '" +
                    Shown(nameOrFile, kShownPathChars) + "'";
            return false;
        }
        error = "no stored result is named '" + Shown(nameOrFile, kShownPathChars) + "' and there is no such file";
        return false;
    }
    return ReadBaselineFile(nameOrFile, hosts, error, warning);
}

} // namespace tessvale
