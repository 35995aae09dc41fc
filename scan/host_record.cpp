#include "scan/host_record.h"

#include <algorithm>

#include "common/text_util.h"

namespace tessvale {

void HostInventory::Clear()
{
    cpu.clear();
    memoryMb.clear();
    systemVersion.clear();
    shares.clear();
    adapterSpeed.clear();
    vendor.clear();
}

void SetField(std::string& field, std::string_view text, std::size_t capacity)
{
    // Host texts come from the network or from stored results: a tab, a line break or
    // an escape sequence in them would split rows and columns wherever they are shown
    // or written, so every control character becomes a blank.
    field = BlankControlCharacters(CutToCapacity(text, capacity));
}

} // namespace tessvale

namespace tessvale {

std::string HostNames::Chosen() const
{
    for (const std::string* name : {&netbios, &mdns, &dns}) {
        if (!name->empty()) {
            return *name;
        }
    }
    return "-";
}

std::string ServiceWord(std::string_view type)
{
    struct Known
    {
        const char* type;
        const char* word;
    };
    static constexpr Known kKnown[] = {
        {"_ipp._tcp", "printer"},     {"_ipps._tcp", "printer"},
        {"_printer._tcp", "printer"}, {"_pdl-datastream._tcp", "printer"},
        {"_smb._tcp", "file server"}, {"_afpovertcp._tcp", "file server"},
        {"_nfs._tcp", "file server"}, {"_http._tcp", "web"},
        {"_https._tcp", "web"},       {"_ssh._tcp", "ssh"},
        {"_sftp-ssh._tcp", "ssh"},    {"_rfb._tcp", "remote desktop"},
        {"_airplay._tcp", "media"},   {"_googlecast._tcp", "media"},
        {"_raop._tcp", "media"},
    };
    for (const Known& known : kKnown) {
        if (EqualsNoCase(type, known.type)) {
            return known.word;
        }
    }
    return std::string(type);
}

std::string ServiceWords(const std::vector<std::string>& types)
{
    std::vector<std::string> words;
    std::string text;
    for (const std::string& type : types) {
        std::string word = ServiceWord(type);
        if (std::find(words.begin(), words.end(), word) != words.end()) {
            continue;
        }
        text += (text.empty() ? "" : ", ") + word;
        words.push_back(std::move(word));
    }
    return text;
}

} // namespace tessvale
