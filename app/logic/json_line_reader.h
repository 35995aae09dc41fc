// The reader of a line of --scan's JSON output. No Qt.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessvale {

using JsonMembers = std::vector<std::pair<std::string, std::string>>;

// One line of JSON output: an object whose values are strings, but for the names by
// source (an object of strings or nulls) and the service types (an array of strings),
// which are read past. Other values (numbers, deeper nesting) are not what the scan
// writes and are refused. The members with string values, in their order; false when
// the line is no such object.
bool ReadJsonLine(std::string_view line, JsonMembers& members);

} // namespace tessvale
