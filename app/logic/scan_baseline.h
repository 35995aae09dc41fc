// The baseline "tessvale --scan --against NAME|FILE" compares a scan with: a stored
// result of the configuration document, or the output of an earlier --scan run in any
// of its three forms (tab-separated, CSV or JSON lines, with or without the header
// line). No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/logic/change_tracking.h"

namespace tessvale {

class ConfigStore;

// The largest baseline file read (a scan of a /8 with every address answering would
// need more; its text is refused with a message instead of read without bound).
inline constexpr std::uint64_t kMaxBaselineBytes = 64ULL * 1024 * 1024;
// The longest line (or CSV record) of a baseline file; a scan's lines are far shorter.
inline constexpr std::size_t kMaxBaselineLine = std::size_t{64} * 1024;

enum class BaselineForm
{
    Tsv,
    Csv,
    Json,
};

// The form of a scan's output, from its first line that is not blank: an object is
// JSON, a line with a tab tab-separated, anything else CSV.
BaselineForm DetectBaselineForm(std::string_view text);

// The hosts of a scan's output: IP, MAC and name of each line (a header line first
// is skipped). Lines an earlier comparison printed for gone hosts are left out, as
// those hosts did not answer then. Texts are cut to their fields' sizes with control
// characters blanked. False with a message naming the line when the text is not such
// output (a line too long, bad quoting, a first field that is not an IPv4 address).
bool ParseBaseline(std::string_view text, std::vector<HostSnapshot>& hosts, std::string& error);

// Reads and parses a baseline file of at most kMaxBaselineBytes; false with a message
// that names the file when it cannot be read or parsed, or is UTF-16 text. A file
// without hosts (empty, or a header only) is read, and `warning`, when given, says so.
bool ReadBaselineFile(const std::string& path, std::vector<HostSnapshot>& hosts, std::string& error,
                      std::string* warning = nullptr);

// The hosts of the first stored result named exactly `name`; false when none is.
bool StoredBaseline(ConfigStore& store, const std::string& name, std::vector<HostSnapshot>& hosts);

// Loads the configuration file for a run compared with `nameOrFile`: of the stored
// results' hosts only those of results of that name are read (the file is streamed,
// never held whole). The store is for reading only then.
bool LoadStoreForBaseline(ConfigStore& store, const std::string& path, const std::string& nameOrFile);

// NAME|FILE: a stored result of that exact name, else the file at that path. False
// with a message when neither gives a baseline (also when the configuration file is
// there but was not used: the message says so). `warning` as for ReadBaselineFile.
bool LoadBaseline(ConfigStore& store, const std::string& nameOrFile, std::vector<HostSnapshot>& hosts,
                  std::string& error, std::string* warning = nullptr);

} // namespace tessvale
