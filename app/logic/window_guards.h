// The main window's decisions that guard the user's work and the ranges typed in: whether
// replacing the list would lose rows, what to do with the answer to that question, the
// counts the status bar shows, and whether a typed range can be scanned. No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "app/logic/result_list.h"
#include "scan/address_forms.h"

namespace tessvale {

// True when the shown rows are stored nowhere as shown: `stored` is the stored result
// they were loaded from or saved as (nullptr: none). An empty list loses nothing.
bool HoldsUnsavedRows(const std::vector<StoredHost>& shown, const std::vector<StoredHost>* stored);

// The answer to "Save the current result first?".
enum class UnsavedAnswer
{
    Save,
    Discard,
    Cancel,
};

// What a command that replaces the list (a lookup, another chooser entry, a stored
// result) does before it goes on.
enum class ReplaceStep
{
    Go,        // nothing would be lost, or the user discards it
    SaveFirst, // store the rows, then go on only when they were stored
    Stay,      // the list and the chooser stay as they were
};
ReplaceStep StepBeforeReplacing(bool unsaved, std::optional<UnsavedAnswer> answer);

// The counts the status bar shows: the rows that answered and those that did not.
struct RowCounts
{
    int online = 0;
    int offline = 0;
};
RowCounts CountRows(const std::vector<ResultRow>& rows);

// How far an address entry has been filled in.
enum class AddressFill
{
    Blank,      // every octet empty
    Incomplete, // some octets empty
    Complete,
};

enum class RangeProblem
{
    None,
    FirstIncomplete, // the first address is blank or has an empty octet
    LastIncomplete,
    EndBeforeStart,
    TooLarge, // more addresses than one scan may walk
};

struct RangeEntry
{
    AddressFill fill = AddressFill::Blank;
    std::uint32_t address = 0; // host order; meaningful when complete
};

// The problem of a range typed into the window or the favorites editor, the first one
// found in the order of the enumeration.
RangeProblem CheckRange(const RangeEntry& first, const RangeEntry& last, std::uint64_t maxAddresses);

// How many addresses a range holds (0 when the end is before the start).
std::uint64_t RangeSize(std::uint32_t first, std::uint32_t last);

// A whole range as typed or pasted: a subnet ("198.18.0.0/24"), two addresses with a
// dash between them ("198.18.40.1-198.18.40.50", blanks around the dash allowed) or an
// address and a last octet ("198.18.40.1-50"). nullopt for any other text, and for an
// end before the start.
std::optional<AddressRange> ParseTypedRange(std::string_view text);

} // namespace tessvale
