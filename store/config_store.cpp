#include "store/config_store.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <optional>
#include <unordered_set>

#include <openssl/evp.h>
#include <pugixml.hpp>
#include <sys/stat.h>

#include "common/paths.h"
#include "common/text_util.h"
#include "store/config_file.h"

namespace tessvale {

namespace {

// Base64 of at most this many characters is written (the old encoding buffer's size),
// and at most kMaxEncodedCredential characters are read back.
constexpr std::size_t kMaxEncoderOutput = 1020;

// The program's own documents are four levels deep. A save indents every line by its
// depth, so a document nested thousands of levels deep would write (and hold in memory)
// a file that grows with the square of its depth: such documents are refused at load.
constexpr int kMaxDocumentDepth = 64;

class DepthCheck : public pugi::xml_tree_walker
{
public:
    bool for_each(pugi::xml_node& node) override
    {
        // depth() counts from 0 for the document's top element.
        if (node.type() == pugi::node_element && depth() >= kMaxDocumentDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    }
    bool tooDeep = false;
};

bool NestedTooDeep(pugi::xml_document& document)
{
    DepthCheck check;
    document.traverse(check);
    return check.tooDeep;
}

// Every query is either a table path from the program's own record buffers or such a
// path with a decimal number appended; no user text ever becomes part of a query.
pugi::xpath_node_set Select(const pugi::xml_node& context, const std::string& query)
{
    if (query.empty()) {
        return {};
    }
    try {
        return context.select_nodes(query.c_str());
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

std::uint32_t ParseId(const char* text)
{
    const long long value = ParseDecimal(text);
    if (value < 0) {
        return 0;
    }
    if (value > std::numeric_limits<std::uint32_t>::max()) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(value);
}

bool IsPlainName(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool ok = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                        byte == '_' || byte == '-' || byte == '.' || byte >= 0x80;
        if (!ok) {
            return false;
        }
    }
    return true;
}

int FieldCount(const ConfigRecord& record)
{
    if (record.fieldCount < 0) {
        return 0;
    }
    return record.fieldCount > ConfigRecord::kMaxFields ? ConfigRecord::kMaxFields : record.fieldCount;
}

constexpr const char* kNoteTable = "Note";
constexpr const char* kNoteMac = "MAC";
constexpr const char* kNoteComment = "Comment";

// A comment as it is kept and shown: one line, no control characters, bounded.
std::string CleanNote(std::string_view text)
{
    std::string valid = IsValidUtf8(text) ? std::string(text) : AnsiToUtf8(text);
    if (!IsValidUtf8(valid)) {
        valid.clear();
    }
    return Trim(BlankControlCharacters(CutToCapacity(valid, ConfigStore::kMaxNoteChars + 1)));
}

class StringWriter : public pugi::xml_writer
{
public:
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
    std::string text;
};

} // namespace

struct ConfigStore::Impl
{
    pugi::xml_document document;
    std::string path;
    // The file on disk could not be read or parsed: it is kept as "<path>.bad" when the
    // first save replaces it, so what the parser dropped is not lost.
    bool backupPending = false;
    ConfigStore::LoadState loadState = ConfigStore::LoadState::Missing;
    int loadError = 0;
    FileError saveError;

    // The settings as last read, for the scan's many readers: a lookup in a large
    // document costs a walk over all of it. Any change of the document drops the copy.
    std::mutex settingsMutex;
    std::optional<ConfigRecord> settings;
    // The notes as last read (under the store's lock): rows ask for them one by one.
    std::optional<std::map<std::string, std::string>> notes;

    void Changed()
    {
        notes.reset();
        const std::lock_guard lock(settingsMutex);
        settings.reset();
    }

    // The notes table: <Note> directly under the top <config>, never one nested deeper.
    pugi::xml_node NoteTable(bool create)
    {
        pugi::xml_node root = document.child("config");
        if (!root && create) {
            root = document.append_child("config");
        }
        pugi::xml_node table = root.child(kNoteTable);
        if (!table && root && create) {
            table = root.append_child(kNoteTable);
        }
        return table;
    }

    const std::map<std::string, std::string>& ReadNotes()
    {
        if (notes) {
            return *notes;
        }
        notes.emplace();
        for (const pugi::xml_node record : NoteTable(false).children(kNoteTable)) {
            const std::string_view mac = record.child(kNoteMac).attribute("value").value();
            if (!NoteKeyValid(mac)) {
                continue;
            }
            std::string text = CleanNote(record.child(kNoteComment).attribute("value").value());
            if (!text.empty()) {
                notes->emplace(CanonicalMac(mac), std::move(text));
            }
        }
        return *notes;
    }

    pugi::xml_node FindRecord(const ConfigRecord& record) const
    {
        if (record.tablePath.empty()) {
            return {};
        }
        // The lookup compares text: an id written as "07" is not found as 7.
        const pugi::xpath_node_set nodes =
            Select(document, record.tablePath + "[id/@value='" + std::to_string(record.id) + "']");
        return nodes.empty() ? pugi::xml_node() : nodes.first().node();
    }

    pugi::xml_node EnsurePath(const std::string& nodePath)
    {
        const pugi::xpath_node_set nodes = Select(document, nodePath);
        if (!nodes.empty()) {
            return nodes.first().node();
        }
        const auto slash = nodePath.rfind('/');
        if (slash == std::string::npos) {
            return {};
        }
        const std::string parentPath = nodePath.substr(0, slash);
        const std::string leaf = nodePath.substr(slash + 1);
        if (!IsPlainName(leaf)) {
            return {};
        }
        pugi::xml_node parent = parentPath.empty() ? pugi::xml_node(document) : EnsurePath(parentPath);
        if (!parent) {
            return {};
        }
        return parent.append_child(leaf.c_str());
    }
};

ConfigStore::ConfigStore() : m_impl(std::make_unique<Impl>()) {}

ConfigStore::~ConfigStore() = default;

bool ConfigStore::Load(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_impl->path = path;
    m_impl->document.reset();
    m_impl->Changed();
    m_impl->backupPending = false;
    m_impl->loadError = 0;
    m_impl->loadState = LoadState::Missing;
    // Copies that interrupted saves left behind hold the credentials too.
    RemoveStaleTemporaryFiles(path);

    struct stat info
    {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        // A folder of that name: nothing to read, and Save will not replace it.
        m_impl->loadState = LoadState::Unreadable;
        m_impl->loadError = EISDIR;
        return false;
    }
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        // A file that is there but cannot be read must not be replaced without a copy.
        if (errno != ENOENT && errno != ENOTDIR) {
            m_impl->backupPending = true;
            m_impl->loadState = LoadState::Unreadable;
            m_impl->loadError = errno;
        }
        return false;
    }
    std::string content;
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        content.append(buffer, count);
    }
    if (std::ferror(file.get()) != 0) {
        m_impl->loadError = errno;
        m_impl->document.reset();
        m_impl->backupPending = true;
        m_impl->loadState = LoadState::Unreadable;
        return false;
    }
    const bool parsed = LoadBuffer(content);
    m_impl->backupPending = m_impl->loadState == LoadState::TooDeep || (!parsed && !content.empty());
    return parsed;
}

bool ConfigStore::LoadBuffer(std::string_view content)
{
    std::lock_guard lock(m_mutex);
    m_impl->document.reset();
    m_impl->Changed();
    // On a syntax error pugixml keeps the tree parsed before it; the program goes on
    // with that part.
    const pugi::xml_parse_result result =
        m_impl->document.load_buffer(content.data(), content.size(), pugi::parse_default, pugi::encoding_auto);
    if (NestedTooDeep(m_impl->document)) {
        m_impl->document.reset();
        m_impl->loadState = LoadState::TooDeep;
        return false;
    }
    m_impl->loadState = result ? LoadState::Loaded : LoadState::Malformed;
    return static_cast<bool>(result);
}

ConfigStore::LoadState ConfigStore::LastLoadState() const
{
    std::lock_guard lock(m_mutex);
    return m_impl->loadState;
}

int ConfigStore::LastLoadError() const
{
    std::lock_guard lock(m_mutex);
    return m_impl->loadError;
}

bool ConfigStore::Save()
{
    std::lock_guard lock(m_mutex);
    m_impl->saveError = {};
    if (m_impl->path.empty()) {
        m_impl->saveError = {FileError::Kind::System, ENOENT, m_impl->path};
        return false;
    }
    const std::string folder = FolderOf(m_impl->path);
    if (!folder.empty() && !CreateDirectoryPath(folder)) {
        m_impl->saveError = {FileError::Kind::System, errno, folder};
        return false;
    }

    ReplaceOptions options;
    options.followOwnLinks = true;
    options.backupOld = m_impl->backupPending;
    m_impl->saveError = ReplaceFileContent(m_impl->path, SavedText(), options);
    if (m_impl->saveError) {
        return false;
    }
    m_impl->backupPending = false;
    return true;
}

std::string ConfigStore::SavedText() const
{
    std::lock_guard lock(m_mutex);
    StringWriter writer;
    m_impl->document.save(writer, "\t", pugi::format_indent, pugi::encoding_utf8);
    return std::move(writer.text);
}

FileError ConfigStore::LastSaveError() const
{
    std::lock_guard lock(m_mutex);
    return m_impl->saveError;
}

const std::string& ConfigStore::Path() const
{
    return m_impl->path;
}

void ConfigStore::EnsurePath(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_impl->Changed();
    m_impl->EnsurePath(path);
}

int ConfigStore::AddRecord(ConfigRecord& record)
{
    std::lock_guard lock(m_mutex);
    if (record.tablePath.empty()) {
        return 0;
    }
    const pugi::xpath_node_set ids = Select(m_impl->document, record.tablePath + "/id");
    std::uint32_t largest = 0;
    for (const pugi::xpath_node& id : ids) {
        const std::uint32_t value = ParseId(id.node().attribute("value").value());
        largest = value > largest ? value : largest;
    }
    if (largest == std::numeric_limits<std::uint32_t>::max()) {
        return 0; // the next id would wrap round to an id already in use
    }

    pugi::xml_node parent;
    std::string name;
    if (!ids.empty()) {
        const pugi::xml_node first = ids.first().node().parent();
        parent = first.parent();
        name = first.name();
    } else {
        parent = m_impl->EnsurePath(FolderOf(record.tablePath));
        name = parent.name();
    }
    if (!parent || name.empty()) {
        return 0;
    }
    m_impl->Changed();
    pugi::xml_node element = parent.append_child(name.c_str());
    const std::uint32_t newId = largest + 1;
    element.append_child("id").append_attribute("value").set_value(std::to_string(newId).c_str());
    record.id = newId;
    WriteRecord(record);
    return 1;
}

int ConfigStore::WriteRecord(const ConfigRecord& record)
{
    std::lock_guard lock(m_mutex);
    pugi::xml_node element = m_impl->FindRecord(record);
    if (!element) {
        return 0;
    }
    m_impl->Changed();
    for (int i = 0; i < FieldCount(record); ++i) {
        const std::string& name = record.fieldNames[static_cast<std::size_t>(i)];
        if (name.empty()) {
            continue;
        }
        pugi::xml_node field = element.child(name.c_str());
        if (!field) {
            field = element.append_child(name.c_str());
        }
        pugi::xml_attribute value = field.attribute("value");
        if (!value) {
            value = field.append_attribute("value");
        }
        value.set_value(record.values[static_cast<std::size_t>(i)].c_str());
    }
    return 1;
}

int ConfigStore::WriteOrAddRecord(ConfigRecord& record)
{
    std::lock_guard lock(m_mutex);
    return WriteRecord(record) != 0 ? 1 : AddRecord(record);
}

int ConfigStore::ReadRecord(ConfigRecord& record)
{
    std::lock_guard lock(m_mutex);
    const pugi::xml_node element = m_impl->FindRecord(record);
    if (!element) {
        return 0;
    }
    for (int i = 0; i < FieldCount(record); ++i) {
        const std::string& name = record.fieldNames[static_cast<std::size_t>(i)];
        if (name.empty()) {
            continue;
        }
        // Absent fields keep the caller's defaults; a field without "value" reads empty.
        const pugi::xml_node field = element.child(name.c_str());
        if (field) {
            record.values[static_cast<std::size_t>(i)] = field.attribute("value").value();
        }
    }
    return 1;
}

int ConfigStore::DeleteRecord(const ConfigRecord& record)
{
    std::lock_guard lock(m_mutex);
    pugi::xml_node element = m_impl->FindRecord(record);
    if (element) {
        m_impl->Changed();
        element.parent().remove_child(element);
    }
    return 1;
}

int ConfigStore::ListRecords(const ConfigRecord& templ, std::vector<ConfigRecord>& records)
{
    std::lock_guard lock(m_mutex);
    records.clear();
    for (const pugi::xpath_node& node : Select(m_impl->document, templ.tablePath)) {
        const pugi::xml_node element = node.node();
        if (!element) {
            continue;
        }
        ConfigRecord copy = templ;
        copy.id = ParseId(element.child("id").attribute("value").value());
        for (int i = 0; i < FieldCount(copy); ++i) {
            const std::string& name = copy.fieldNames[static_cast<std::size_t>(i)];
            copy.values[static_cast<std::size_t>(i)] =
                name.empty() ? std::string() : element.child(name.c_str()).attribute("value").value();
        }
        records.push_back(std::move(copy));
    }
    return 1;
}

int ConfigStore::DeleteItemsOf(std::uint32_t resultId)
{
    std::lock_guard lock(m_mutex);
    // Each matching item is removed as the element it is, not looked up again by its
    // id: an item whose id is written "07" or repeated would otherwise survive, or
    // another item would go in its place. An item that lies inside another removed
    // item goes with it; removing it once more would free its memory twice.
    const ConfigRecord item = MakeItemRecord();
    std::vector<pugi::xml_node> matching;
    std::unordered_set<pugi::xml_node_struct*> removed;
    for (const pugi::xpath_node& node : Select(m_impl->document, item.tablePath)) {
        const pugi::xml_node element = node.node();
        if (element &&
            ParseDecimal(element.child(kItemResultId).attribute("value").value()) == static_cast<long long>(resultId)) {
            matching.push_back(element);
            removed.insert(element.internal_object());
        }
    }
    // Decided for all before the first removal frees anything.
    std::vector<pugi::xml_node> outermost;
    for (const pugi::xml_node& element : matching) {
        bool inside = false;
        for (pugi::xml_node up = element.parent(); up && !inside; up = up.parent()) {
            inside = removed.count(up.internal_object()) != 0;
        }
        if (!inside) {
            outermost.push_back(element);
        }
    }
    if (!outermost.empty()) {
        m_impl->Changed();
    }
    for (pugi::xml_node& element : outermost) {
        element.parent().remove_child(element);
    }
    return static_cast<int>(matching.size());
}

int ConfigStore::DeleteResult(const ConfigRecord& result)
{
    std::lock_guard lock(m_mutex);
    DeleteItemsOf(result.id);
    return DeleteRecord(result);
}

ConfigRecord ConfigStore::LoadSettings(MissingSettings missing)
{
    if (missing == MissingSettings::Leave) {
        const std::lock_guard cached(m_impl->settingsMutex);
        if (m_impl->settings) {
            return *m_impl->settings;
        }
    }
    std::lock_guard lock(m_mutex);
    ConfigRecord settings = MakeSettingsRecord();
    settings.id = 1;
    settings.SetValue(kAutoscanSpanSeconds, "0");
    settings.SetValue(kAutoscanThreads, "64");
    settings.SetValue(kNetbiosTimeoutMSeconds, "1000");
    settings.SetValue(kAutoUpdate, "1");
    settings.SetValue(kProbeRatePerSecond, "2000");
    settings.SetValue(kProbeRetries, "1");
    settings.SetValue(kNameNetbios, "1");
    settings.SetValue(kNameMdns, "1");
    settings.SetValue(kNameDns, "1");
    if (ReadRecord(settings) == 0 && missing == MissingSettings::Create) {
        AddRecord(settings);
    }
    // Filled under the document's lock, which every change holds: no change can slip in
    // between the read above and the copy.
    const std::lock_guard cached(m_impl->settingsMutex);
    m_impl->settings = settings;
    return settings;
}

bool ConfigStore::SaveSettings(const ConfigRecord& settings)
{
    std::lock_guard lock(m_mutex);
    ConfigRecord record = settings;
    record.id = 1;
    WriteOrAddRecord(record);
    return Save();
}

bool ConfigStore::NoteKeyValid(std::string_view mac)
{
    return IsSixPairMac(mac) && CanonicalMac(mac) != "00:00:00:00:00:00";
}

std::string ConfigStore::NoteOf(std::string_view mac) const
{
    std::lock_guard lock(m_mutex);
    if (!NoteKeyValid(mac)) {
        return {};
    }
    const std::map<std::string, std::string>& notes = m_impl->ReadNotes();
    const auto found = notes.find(CanonicalMac(mac));
    return found == notes.end() ? std::string() : found->second;
}

std::map<std::string, std::string> ConfigStore::Notes() const
{
    std::lock_guard lock(m_mutex);
    return m_impl->ReadNotes();
}

bool ConfigStore::SetNote(std::string_view mac, std::string_view text)
{
    std::lock_guard lock(m_mutex);
    if (!NoteKeyValid(mac)) {
        return false;
    }
    const std::string key = CanonicalMac(mac);
    const std::string clean = CleanNote(text);
    pugi::xml_node table = m_impl->NoteTable(!clean.empty());
    m_impl->Changed();
    // Every record of the MAC goes, however it was spelt; one is written anew.
    std::vector<pugi::xml_node> old;
    std::uint32_t largest = 0;
    for (const pugi::xml_node record : table.children(kNoteTable)) {
        const std::uint32_t id = ParseId(record.child("id").attribute("value").value());
        largest = id > largest ? id : largest;
        const std::string_view recordMac = record.child(kNoteMac).attribute("value").value();
        if (NoteKeyValid(recordMac) && CanonicalMac(recordMac) == key) {
            old.push_back(record);
        }
    }
    for (pugi::xml_node& record : old) {
        table.remove_child(record);
    }
    if (clean.empty()) {
        return true;
    }
    if (largest == std::numeric_limits<std::uint32_t>::max()) {
        largest = 0; // ids only keep the record's shape here; no lookup goes by them
    }
    pugi::xml_node record = table.append_child(kNoteTable);
    record.append_child("id").append_attribute("value").set_value(std::to_string(largest + 1).c_str());
    record.append_child(kNoteMac).append_attribute("value").set_value(key.c_str());
    record.append_child(kNoteComment).append_attribute("value").set_value(clean.c_str());
    return true;
}

bool ConfigStore::SaveNote(std::string_view mac, std::string_view text)
{
    std::lock_guard lock(m_mutex);
    m_impl->saveError = {};
    return SetNote(mac, text) && Save();
}

std::string EncodeCredential(const std::string& utf8)
{
    std::string bytes = Utf8ToAnsi(utf8);
    constexpr std::size_t kMaxInput = kMaxEncoderOutput / 4 * 3;
    if (bytes.size() > kMaxInput) {
        // Cut whole characters until the encoding fits what the encoder may emit.
        std::size_t capacity = CharCount(utf8) + 1;
        while (bytes.size() > kMaxInput && capacity > 1) {
            bytes = Utf8ToAnsi(CutToCapacity(utf8, --capacity));
        }
    }
    std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    encoded.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return encoded;
}

bool CredentialFits(const std::string& utf8)
{
    const std::size_t bytes = Utf8ToAnsi(utf8).size();
    return 4 * ((bytes + 2) / 3) <= kMaxEncodedCredential;
}

std::string DecodeCredential(const std::string& encoded)
{
    const std::string_view input = std::string_view(encoded).substr(0, kMaxEncodedCredential);
    std::string bytes;
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (const char c : input) {
        if (c == '=') {
            break; // padding ends the data
        }
        int sextet = -1;
        if (c >= 'A' && c <= 'Z') {
            sextet = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            sextet = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            sextet = c - '0' + 52;
        } else if (c == '+') {
            sextet = 62;
        } else if (c == '/') {
            sextet = 63;
        }
        if (sextet < 0) {
            continue; // CR, LF and anything outside the alphabet are skipped
        }
        accumulator = ((accumulator << 6) | static_cast<std::uint32_t>(sextet)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
        }
    }
    // The decoded bytes are a zero-terminated string.
    const auto zero = bytes.find('\0');
    if (zero != std::string::npos) {
        bytes.resize(zero);
    }
    return AnsiToUtf8(bytes);
}

std::uint32_t StoreScan(ConfigStore& store, StoreScanUi& ui, std::uint32_t resultId, const std::string& firstIp,
                        const std::string& lastIp, const std::vector<StoredHost>& rows)
{
    // The name is asked for before the lock is taken: scan workers read the settings
    // while the prompt is open and must not wait for the user.
    std::string name;
    if (resultId == 0) {
        name = ui.AskResultName();
        if (name.empty()) {
            return 0;
        }
    }
    const std::string range = firstIp + "-" + lastIp;
    std::uint32_t id = 0;
    FileError saveError;
    {
        std::lock_guard lock(store.Mutex());
        ConfigRecord result = MakeResultRecord();
        if (resultId != 0) {
            result.id = resultId;
            if (store.ReadRecord(result) == 0) {
                return 0; // the chosen result is gone: storing hosts under it would orphan them
            }
            store.DeleteItemsOf(resultId);
            result.SetValue(kResultIpRange, range);
            store.WriteRecord(result);
        } else {
            result.SetValue(kResultName, name);
            result.SetValue(kResultIpRange, range);
            if (store.AddRecord(result) == 0) {
                return 0;
            }
        }
        id = result.id;
        for (const StoredHost& row : rows) {
            ConfigRecord item = MakeItemRecord();
            item.SetValue(kItemResultId, std::to_string(id));
            item.SetValue(kItemIp, row.ip);
            item.SetValue(kItemMac, row.mac);
            item.SetValue(kItemHostName, row.hostName);
            item.SetValue(kItemCpu, row.cpu);
            item.SetValue(kItemRam, row.ramMb);
            item.SetValue(kItemShareFile, row.shareFile);
            item.SetValue(kItemSystemVer, row.systemVer);
            item.SetValue(kItemNetCardType, row.netCardType);
            item.SetValue(kItemNetCardVendor, row.netCardVendor);
            store.AddRecord(item);
        }
        if (!store.Save()) {
            saveError = store.LastSaveError();
        }
    }
    // A new result is in the document even when the file could not be written: the
    // chooser shows it, so that the next Save retries under it instead of adding
    // another result of the same name.
    if (resultId == 0) {
        ui.RangesChanged(name);
    }
    if (saveError) {
        ui.SaveFailed(saveError);
        return 0;
    }
    return id;
}

} // namespace tessvale
