#include "store/config_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <optional>
#include <unordered_set>

#include <fcntl.h>
#include <openssl/evp.h>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "common/paths.h"
#include "common/text_util.h"
#include "common/unique_fd.h"
#include "store/config_file.h"
#include "store/config_stream.h"
#include "store/setting_bounds.h"

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

// UTF-16 or UTF-32 text, with or without a byte-order mark: the parser's own guess
// looks at the first four bytes the same way.
bool LooksWide(std::string_view text)
{
    if (text.size() < 2) {
        return false;
    }
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0xFFu; };
    return (byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF) || byte(0) == 0 || byte(1) == 0;
}

// Reads the file of the given size into `content`, up to one byte beyond the cap so
// that a file that grew meanwhile is refused too. False with errno in `error` when a
// read failed, false with error 0 when the file holds more than `cap` bytes.
bool ReadBounded(int fd, std::size_t size, std::uint64_t cap, std::string& content, int& error)
{
    error = 0;
    content.resize(size + 1);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = ::read(fd, content.data() + done, content.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            return false;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
        if (done == content.size() && content.size() <= cap) {
            content.resize(static_cast<std::size_t>(std::min<std::uint64_t>(content.size() * 2, cap + 1)));
        }
    }
    if (done > cap) {
        return false;
    }
    content.resize(done);
    return true;
}

// The line (from 1) of a byte offset.
std::size_t LineAt(std::string_view text, std::size_t offset)
{
    const std::string_view before = text.substr(0, std::min(offset, text.size()));
    return static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
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
    // The file's text, which a document parsed in place points into.
    std::string buffer;
    std::size_t loadLine = 0; // of a syntax error
    std::string parseStatus;  // the parser's word for it
    std::string fileKind;     // what stands in the file's place when it is no regular file
    std::string path;
    // The file on disk could not be read or parsed: it is kept as "<path>.bad" when the
    // first save replaces it, so what the parser dropped is not lost.
    bool backupPending = false;
    // Read with a selection: only part of the file is in the document, which is never saved.
    bool readOnly = false;
    ConfigStore::LoadState loadState = ConfigStore::LoadState::Missing;
    int loadError = 0;
    FileError saveError;

    // The settings as last read, for the scan's many readers: a lookup in a large
    // document costs a walk over all of it. Any change of the document drops the copy.
    std::mutex settingsMutex;
    std::optional<ConfigRecord> settings;
    // Why stored settings were replaced by their defaults, as the last read found.
    std::vector<std::string> settingProblems;
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
    return LoadFile(path, nullptr);
}

bool ConfigStore::LoadSelected(const std::string& path, const RecordSelection& selection)
{
    return LoadFile(path, &selection);
}

bool ConfigStore::LoadFile(const std::string& path, const RecordSelection* selection)
{
    std::lock_guard lock(m_mutex);
    m_impl->readOnly = selection != nullptr;
    m_impl->path = path;
    m_impl->document.reset();
    m_impl->buffer.clear();
    m_impl->buffer.shrink_to_fit();
    m_impl->Changed();
    m_impl->backupPending = false;
    m_impl->loadError = 0;
    m_impl->loadLine = 0;
    m_impl->fileKind.clear();
    m_impl->parseStatus.clear();
    m_impl->loadState = LoadState::Missing;
    // Copies that interrupted saves left behind hold the credentials too.
    RemoveStaleTemporaryFiles(path);

    // Anything that is there but not used is kept as "<path>.bad" by the next save.
    const auto refuse = [this](LoadState state, int error) {
        m_impl->document.reset();
        m_impl->buffer.clear();
        m_impl->buffer.shrink_to_fit();
        m_impl->loadState = state;
        m_impl->loadError = error;
        m_impl->backupPending = true;
        return false;
    };
    // O_NONBLOCK: a FIFO in its place must not block the start.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.Valid()) {
        const int error = errno;
        struct stat link
        {};
        if (error == ENOENT && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            return refuse(LoadState::NotRegular, ENOENT); // a link that leads nowhere
        }
        if (error == ENOENT || error == ENOTDIR) {
            return false;
        }
        return refuse(error == EISDIR ? LoadState::NotRegular : LoadState::Unreadable, error);
    }
    struct stat info
    {};
    if (fstat(fd.Get(), &info) != 0) {
        return refuse(LoadState::Unreadable, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        m_impl->fileKind = S_ISFIFO(info.st_mode)                           ? "a FIFO"
                           : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                           : S_ISSOCK(info.st_mode)                         ? "a socket"
                                                                            : "";
        return refuse(LoadState::NotRegular, S_ISDIR(info.st_mode) ? EISDIR : 0);
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxConfigFileBytes) {
        return refuse(LoadState::TooLarge, 0);
    }
    if (selection != nullptr) {
        return StreamWhole(fd.Get(), *selection) || refuse(m_impl->loadState, m_impl->loadError);
    }
    std::string& content = m_impl->buffer;
    int readError = 0;
    if (!ReadBounded(fd.Get(), static_cast<std::size_t>(info.st_size), ConfigStore::kMaxConfigFileBytes, content,
                     readError)) {
        return refuse(readError != 0 ? LoadState::Unreadable : LoadState::TooLarge, readError);
    }
    if (content.empty()) {
        return refuse(LoadState::Empty, 0);
    }
    // Parsed where it lies: a large document is not held twice.
    const bool parsed = ParseWhole(true);
    m_impl->backupPending = !parsed;
    return parsed;
}

bool ConfigStore::LoadBuffer(std::string_view content)
{
    std::lock_guard lock(m_mutex);
    m_impl->readOnly = false;
    m_impl->document.reset(); // it may point into the buffer
    m_impl->buffer.assign(content.data(), content.size());
    return ParseWhole(false);
}

bool ConfigStore::ParseWhole(bool inPlace)
{
    m_impl->document.reset();
    m_impl->Changed();
    m_impl->loadLine = 0;
    m_impl->loadError = 0;
    std::string& content = m_impl->buffer;
    // A NUL byte ends the text for the parser, which would take the part before it as
    // the whole document. UTF-16 and UTF-32 texts hold NUL bytes of their own.
    const std::size_t nul = content.find('\0');
    if (nul != std::string::npos && !LooksWide(content)) {
        m_impl->loadState = LoadState::Malformed;
        m_impl->loadLine = LineAt(content, nul);
        content.clear();
        return false;
    }
    const std::string lines = inPlace ? std::string() : content;
    const pugi::xml_parse_result result =
        inPlace
            ? m_impl->document.load_buffer_inplace(content.data(), content.size(), pugi::parse_default,
                                                   pugi::encoding_auto)
            : m_impl->document.load_buffer(content.data(), content.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result) {
        // Nothing of a document with a syntax error is used: the part before the error
        // would pass for the whole configuration.
        m_impl->document.reset();
        m_impl->loadState = LoadState::Malformed;
        // The in-place parse changed the text; the line is counted on what it left,
        // whose line feeds are where they were.
        m_impl->loadLine = LineAt(inPlace ? content : lines, static_cast<std::size_t>(result.offset));
        m_impl->parseStatus = result.description();
        content.clear();
        content.shrink_to_fit();
        return false;
    }
    if (!inPlace) {
        content.clear();
        content.shrink_to_fit();
    }
    if (NestedTooDeep(m_impl->document)) {
        m_impl->document.reset();
        m_impl->buffer.clear();
        m_impl->loadState = LoadState::TooDeep;
        return false;
    }
    m_impl->loadState = LoadState::Loaded;
    return true;
}

bool ConfigStore::StreamWhole(int fd, const RecordSelection& selection)
{
    const StreamOutcome outcome =
        StreamSelected(fd, kMaxConfigFileBytes, kMaxDocumentDepth, selection, m_impl->document);
    m_impl->Changed();
    m_impl->loadError = outcome.error;
    m_impl->loadLine = outcome.line;
    m_impl->parseStatus = outcome.status;
    // The stream's outcome as the load's state, one for one.
    constexpr std::pair<StreamOutcome::Kind, LoadState> kStates[] = {
        {StreamOutcome::Kind::Loaded, LoadState::Loaded},
        {StreamOutcome::Kind::Unreadable, LoadState::Unreadable},
        {StreamOutcome::Kind::TooLarge, LoadState::TooLarge},
        {StreamOutcome::Kind::Empty, LoadState::Empty},
        {StreamOutcome::Kind::Malformed, LoadState::Malformed},
        {StreamOutcome::Kind::TooDeep, LoadState::TooDeep},
    };
    for (const auto& [kind, state] : kStates) {
        if (kind == outcome.kind) {
            m_impl->loadState = state;
        }
    }
    return outcome.kind == StreamOutcome::Kind::Loaded;
}

std::string ConfigStore::LastLoadProblem() const
{
    std::lock_guard lock(m_mutex);
    const int error = m_impl->loadError;
    switch (m_impl->loadState) {
    case LoadState::Loaded:
    case LoadState::Missing:
        return {};
    case LoadState::Unreadable:
        return std::error_code(error, std::generic_category()).message();
    case LoadState::NotRegular:
        if (error == ENOENT) {
            return "a symbolic link whose target does not exist";
        }
        if (error == EISDIR) {
            return "a folder, not a file";
        }
        return m_impl->fileKind.empty() ? "not a regular file" : m_impl->fileKind + ", not a regular file";
    case LoadState::TooLarge:
        return "larger than " + std::to_string(kMaxConfigFileBytes / (1024ULL * 1024)) + " MiB";
    case LoadState::Empty:
        return "the file is empty";
    case LoadState::Malformed:
        return "syntax error at line " + std::to_string(m_impl->loadLine) +
               (m_impl->parseStatus.empty() ? std::string() : " (" + m_impl->parseStatus + ")");
    case LoadState::TooDeep:
        return "its elements are nested deeper than " + std::to_string(kMaxDocumentDepth) + " levels";
    }
    return {};
}

bool ConfigStore::LastLoadUnusable() const
{
    std::lock_guard lock(m_mutex);
    return m_impl->loadState != LoadState::Loaded && m_impl->loadState != LoadState::Missing;
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
    if (m_impl->readOnly) {
        // A document read in part would lose the rest of the file.
        m_impl->saveError = {FileError::Kind::System, EROFS, m_impl->path};
        return false;
    }
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
        const std::uint32_t value = ParseRecordId(id.node().attribute("value").value());
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
    return ListSelected(templ, templ.tablePath, records);
}

int ConfigStore::ListRecordsWhere(const ConfigRecord& templ, const std::string& field, std::uint32_t value,
                                  std::vector<ConfigRecord>& records)
{
    if (!IsPlainName(field)) {
        records.clear();
        return 1;
    }
    // The field's name is one of the program's own, the value a number: no user text
    // becomes part of the query.
    return ListSelected(templ, templ.tablePath + "[" + field + "/@value='" + std::to_string(value) + "']", records);
}

int ConfigStore::ListSelected(const ConfigRecord& templ, const std::string& query, std::vector<ConfigRecord>& records)
{
    std::lock_guard lock(m_mutex);
    records.clear();
    for (const pugi::xpath_node& node : Select(m_impl->document, query)) {
        const pugi::xml_node element = node.node();
        if (!element) {
            continue;
        }
        ConfigRecord copy = templ;
        copy.id = ParseRecordId(element.child("id").attribute("value").value());
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
    settings.SetValue(kAskSaveAfterScan, "1");
    settings.SetValue(kAskChartAfterScan, "1");
    if (ReadRecord(settings) == 0 && missing == MissingSettings::Create) {
        AddRecord(settings);
    }
    // A value out of its range would change what a scan finds without a word (a
    // timeout of 0 loses answers, a huge one never ends): the default is used instead,
    // and SettingProblems tells why.
    m_impl->settingProblems.clear();
    for (const SettingBounds& bounds : NumericSettings()) {
        if (!BoundedNumber(settings.Value(bounds.key), bounds.minimum, bounds.maximum)) {
            m_impl->settingProblems.push_back(SettingProblem(bounds, settings.Value(bounds.key)));
            settings.SetValue(bounds.key, bounds.defaultValue);
        }
    }
    // Filled under the document's lock, which every change holds: no change can slip in
    // between the read above and the copy.
    const std::lock_guard cached(m_impl->settingsMutex);
    m_impl->settings = settings;
    return settings;
}

std::vector<std::string> ConfigStore::SettingProblems()
{
    std::lock_guard lock(m_mutex);
    LoadSettings();
    return m_impl->settingProblems;
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
        const std::uint32_t id = ParseRecordId(record.child("id").attribute("value").value());
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

} // namespace tessvale
