// The per-user XML configuration document: settings, stored results and their hosts.
//
// A table is an XPath to a list of like elements, a record one such element with a
// first child <id value="N"/>, a field a child element whose "value" attribute holds
// the text. Every operation takes the store's recursive lock for its own duration.
// Callers that need several steps to be atomic run them through Atomically.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/config_file.h"
#include "store/config_record.h"

namespace tessvale {

// The records of `members` whose `link` field names the id of an `owners` record whose
// `ownerField` holds `ownerValue`; every other record, table and setting is kept whole.
struct RecordSelection
{
    ConfigRecord owners;
    std::string ownerField;
    std::string ownerValue;
    ConfigRecord members;
    std::string link;
};

class ConfigStore
{
public:
    ConfigStore();
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    // Remembers the path, empties the document and parses the file: a regular file of
    // at most kMaxConfigFileBytes, as a whole or not at all. A file that is there but
    // cannot be used (unreadable, no regular file, too large, empty, a syntax error
    // anywhere, a NUL byte in UTF-8 text, elements nested deeper than 64 levels) leaves
    // the document empty and is kept as "<path>.bad" when the next save replaces it
    // (older backups move on to ".bad.1" and ".bad.2"). A FIFO does not block. Temporary
    // files that interrupted saves left beside the file are removed. False when the
    // file is missing or was not used; LastLoadState and LastLoadProblem tell why.
    bool Load(const std::string& path);
    // Like Load, for a reader of one stored result: the file is read as a stream, twice
    // (checked whole first, then built), and of the `selection`'s members only those of
    // the owners asked for are kept, so that a large document is never held. A document
    // so loaded is for reading only: Save refuses it (LastSaveError: EROFS).
    bool LoadSelected(const std::string& path, const RecordSelection& selection);
    // Parses a document held in memory, as Load does with the file's content. The
    // remembered path is left as it is.
    bool LoadBuffer(std::string_view content);

    // The largest configuration file read.
    static constexpr std::uint64_t kMaxConfigFileBytes = 64ULL * 1024 * 1024;

    enum class LoadState
    {
        Loaded,
        Missing,    // no file: the program starts with the defaults
        Unreadable, // the file is there but could not be read (LastLoadError has the errno)
        NotRegular, // a folder, FIFO, device or a link that leads nowhere
        TooLarge,   // more than kMaxConfigFileBytes
        Empty,      // no byte at all
        Malformed,  // a syntax error: nothing was loaded
        TooDeep,    // nested too deep: nothing was loaded
    };
    LoadState LastLoadState() const;
    int LastLoadError() const;
    // Why the file that is there was not used, in English ("syntax error at line 12",
    // "Permission denied", "larger than 64 MiB"); empty when it was loaded or is missing.
    std::string LastLoadProblem() const;
    // True when the file is there but was not used.
    bool LastLoadUnusable() const;

    // Writes the document to the remembered path: declaration, tab indentation,
    // UTF-8 without byte-order mark, mode 0600, through a temporary file renamed over
    // the old one. Creates the folder when missing. A symbolic link at the path is
    // followed only when it and its target belong to the running user. False when it
    // cannot be written (LastSaveError says why); the document in memory is unchanged.
    bool Save();
    FileError LastSaveError() const;
    // The bytes Save writes.
    std::string SavedText() const;

    const std::string& Path() const;

    // Makes sure an element exists at a simple absolute path such as "//config/Result".
    void EnsurePath(const std::string& path);

    // Appends a record with the next free id, stores the id in the buffer and writes
    // the buffer's values into it. Returns 1.
    int AddRecord(ConfigRecord& record);
    // 1 when the record with the buffer's id was found and written, else 0.
    int WriteRecord(const ConfigRecord& record);
    // Writes the record with the buffer's id, or adds it (AddRecord: the next free id
    // goes into the buffer) when there is none. 1, or 0 when it could not be added.
    int WriteOrAddRecord(ConfigRecord& record);
    // 1 when found: fields present in the file replace the buffer's values (a field
    // without "value" reads empty); absent fields keep the buffer's values. 0 when not
    // found; the buffer is left as it was.
    int ReadRecord(ConfigRecord& record);
    // Removes the record with the buffer's id if there is one. Returns 1.
    int DeleteRecord(const ConfigRecord& record);
    // One copy of the template per record of its table, in document order. Returns 1.
    int ListRecords(const ConfigRecord& templ, std::vector<ConfigRecord>& records);
    // Like ListRecords, only the records whose field `field` holds the number `value`
    // exactly as its decimal text (the way items name their result). Returns 1.
    int ListRecordsWhere(const ConfigRecord& templ, const std::string& field, std::uint32_t value,
                         std::vector<ConfigRecord>& records);
    // Deletes every item whose ResultId names the result. Returns how many went.
    int DeleteItemsOf(std::uint32_t resultId);
    // Deletes every item whose ResultId names the result, then the result. Returns 1.
    int DeleteResult(const ConfigRecord& result);

    // What LoadSettings does when the document holds no settings record.
    enum class MissingSettings
    {
        Leave,  // the defaults are returned, the document stays as it is
        Create, // the record is added with the defaults (it reaches the file with the next save)
    };

    // The settings record (id 1) over the defaults "0", "64", "1000", "1"; the two
    // credential values are empty unless the file holds them. A numeric value outside
    // its range reads as its default. Served from a copy kept
    // until the document next changes, so the scan's workers read it cheaply however
    // large the document is.
    ConfigRecord LoadSettings(MissingSettings missing = MissingSettings::Leave);
    // The stored settings LoadSettings replaced by their defaults because they were out
    // of their range or no number (setting_bounds.h), one text each; empty when all
    // were fine.
    std::vector<std::string> SettingProblems();
    // Writes the six values of the settings record (id 1), adding the record when it is
    // missing, and saves the document. Save's result.
    bool SaveSettings(const ConfigRecord& settings);

    // Notes by MAC: the user's comment on a host, kept in a table of its own,
    // <config><Note><Note><id value="N"/><MAC value="AA:BB:CC:DD:EE:FF"/><Comment value="..."/></Note></Note>,
    // which the settings, results and items never read. Keys are CanonicalMac forms;
    // a MAC that is not six hex pairs (or is all zeros) has no note. What the file holds
    // is read bounded: a comment longer than kMaxNoteChars characters is cut, control
    // characters become blanks, and only records directly under the table count.
    static constexpr std::size_t kMaxNoteChars = 1000;
    // Whether a note can be kept for this MAC.
    static bool NoteKeyValid(std::string_view mac);
    // The note of the MAC (any usual spelling); empty when there is none.
    std::string NoteOf(std::string_view mac) const;
    // Every note, keyed by CanonicalMac; the first record of a MAC wins.
    std::map<std::string, std::string> Notes() const;
    // Sets the note of the MAC in the document, cleaned and cut as on reading; an empty
    // (or blank) text removes it. False when the MAC cannot carry a note. Not saved.
    bool SetNote(std::string_view mac, std::string_view text);
    // SetNote, then Save: false when the MAC cannot carry a note or the document could
    // not be written (LastSaveError says why; the note stays in memory).
    bool SaveNote(std::string_view mac, std::string_view text);

    // Runs steps(*this) under the store's lock, so that no other thread's operation
    // comes between its own; returns what steps returns. The lock is recursive: steps
    // calls the store's operations as usual.
    template <class Steps> decltype(auto) Atomically(Steps&& steps)
    {
        std::lock_guard lock(m_mutex);
        return std::forward<Steps>(steps)(*this);
    }

private:
    bool LoadFile(const std::string& path, const RecordSelection* selection);
    bool StreamWhole(int fd, const RecordSelection& selection);
    bool ParseWhole(bool inPlace);
    int ListSelected(const ConfigRecord& templ, const std::string& query, std::vector<ConfigRecord>& records);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    mutable std::recursive_mutex m_mutex;
};

// Credentials are stored as Base64 (RFC 4648, standard alphabet, padded, no line
// breaks) of their bytes in the locale encoding.
inline constexpr std::size_t kMaxEncodedCredential = 511;

// Encodes UTF-8 text. Text whose encoding would exceed 1020 characters is cut at a
// character boundary first; check CredentialFits before storing.
std::string EncodeCredential(const std::string& utf8);
// True when the encoded form of the text fits the stored field (511 characters).
bool CredentialFits(const std::string& utf8);
// Decodes a stored value back to UTF-8. Skips CR and LF, stops at '=', stops at the
// first zero byte of the decoded bytes; reads at most 511 characters of input.
std::string DecodeCredential(const std::string& encoded);

} // namespace tessvale
