// The configuration file is the user's, but another local user or a copied file can
// hand the program anything. Every input is loaded as the configuration, read the way
// the program reads it at start-up (settings, credentials, the stored results and their
// hosts, the notes by MAC) and saved; what the save wrote must load again and read the same, or the next
// start would lose data. The file layer (temporary files, links, backups) has its own
// tests.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>
#include <sys/mman.h>
#include <unistd.h>

#include "common/unique_fd.h"
#include "fuzz_support.h"
#include "store/config_record.h"
#include "store/config_store.h"

namespace {

using tessvale::ConfigRecord;
using tessvale::ConfigStore;
using tessvale::fuzz::Require;

// How many stored results are also read one by one, as the favorites dialog does.
constexpr std::size_t kResultsRead = 4;

struct Snapshot
{
    ConfigRecord settings;
    std::vector<ConfigRecord> results;
    std::vector<ConfigRecord> items;
    std::map<std::string, std::string> notes;
};

bool SameValues(const ConfigRecord& a, const ConfigRecord& b)
{
    return a.id == b.id && a.values == b.values;
}

bool SameRecords(const std::vector<ConfigRecord>& a, const std::vector<ConfigRecord>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!SameValues(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

// True when the text holds an element at its top level, read as leniently as pugixml can.
bool HasElement(const std::string& text)
{
    pugi::xml_document document;
    document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment);
    for (const pugi::xml_node& node : document.children()) {
        if (node.type() == pugi::node_element) {
            return true;
        }
    }
    return false;
}

Snapshot Read(ConfigStore& store)
{
    Snapshot snapshot;
    snapshot.settings = store.LoadSettings();
    tessvale::DecodeCredential(snapshot.settings.Value(tessvale::kWmiLogin));
    tessvale::DecodeCredential(snapshot.settings.Value(tessvale::kWmiPassword));
    store.ListRecords(tessvale::MakeResultRecord(), snapshot.results);
    store.ListRecords(tessvale::MakeItemRecord(), snapshot.items);
    for (std::size_t i = 0; i < snapshot.results.size() && i < kResultsRead; ++i) {
        ConfigRecord result = tessvale::MakeResultRecord();
        result.id = snapshot.results[i].id;
        // Not always found: the lookup compares the id's text, and "07" lists as 7.
        store.ReadRecord(result);
    }
    snapshot.notes = store.Notes();
    for (const auto& [mac, note] : snapshot.notes) {
        Require(ConfigStore::NoteKeyValid(mac) && store.NoteOf(mac) == note, "a note is not found by its MAC");
        Require(note.size() <= 4 * ConfigStore::kMaxNoteChars, "a note is not bounded");
        for (const char c : note) {
            Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a note holds a control character");
        }
    }
    return snapshot;
}

// The streamed load of one result, as a run compared with a stored result reads the
// file, keeps what the whole load gives for that result and is never more lenient.
void CompareStreamed(std::string_view content, const std::string& name)
{
    const tessvale::UniqueFd file(memfd_create("Tessvale.xml", MFD_CLOEXEC));
    Require(file.Valid(), "no memory file");
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = write(file.Get(), content.data() + done, content.size() - done);
        Require(wrote > 0, "the memory file cannot be written");
        done += static_cast<std::size_t>(wrote);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(file.Get());
    ConfigStore whole;
    ConfigStore streamed;
    const bool wholeLoaded = whole.Load(path);
    const tessvale::RecordSelection selection{tessvale::MakeResultRecord(), tessvale::kResultName, name,
                                              tessvale::MakeItemRecord(), tessvale::kItemResultId};
    if (!streamed.LoadSelected(path, selection)) {
        return;
    }
    Require(wholeLoaded, "the streamed load takes a file the whole load refuses");
    Require(SameValues(whole.LoadSettings(), streamed.LoadSettings()), "the streamed load reads other settings");
    std::vector<ConfigRecord> wholeResults;
    std::vector<ConfigRecord> streamedResults;
    whole.ListRecords(tessvale::MakeResultRecord(), wholeResults);
    streamed.ListRecords(tessvale::MakeResultRecord(), streamedResults);
    Require(SameRecords(wholeResults, streamedResults), "the streamed load reads other results");
    for (const ConfigRecord& result : wholeResults) {
        if (result.Value(tessvale::kResultName) != name) {
            continue;
        }
        std::vector<ConfigRecord> wholeItems;
        std::vector<ConfigRecord> streamedItems;
        whole.ListRecordsWhere(tessvale::MakeItemRecord(), tessvale::kItemResultId, result.id, wholeItems);
        streamed.ListRecordsWhere(tessvale::MakeItemRecord(), tessvale::kItemResultId, result.id, streamedItems);
        Require(SameRecords(wholeItems, streamedItems), "the streamed load lost hosts of the result asked for");
    }
    Require(!streamed.Save(), "a streamed load was saved");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The file's bytes go through the same parser entry Load uses, without a file per
    // input; the save's bytes are what Save writes.
    Snapshot before;
    std::string saved;
    {
        ConfigStore store;
        store.LoadBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
        before = Read(store);
        saved = store.SavedText();
    }

    // The name of the first stored result, else one that is none.
    CompareStreamed(std::string_view(reinterpret_cast<const char*>(data), size),
                    before.results.empty() ? std::string("yesterday")
                                           : before.results.front().Value(tessvale::kResultName));

    // A document without any element (at most a CDATA section is left of such a file)
    // saves as no document; anything else must parse.
    ConfigStore again;
    const bool reloaded = again.LoadBuffer(saved);
    Require(reloaded || !HasElement(saved), "a saved document does not load");
    const Snapshot after = Read(again);
    Require(SameValues(before.settings, after.settings), "the settings changed through a save");
    Require(SameRecords(before.results, after.results), "the stored results changed through a save");
    Require(SameRecords(before.items, after.items), "the stored hosts changed through a save");
    Require(before.notes == after.notes, "the notes changed through a save");
    return 0;
}
