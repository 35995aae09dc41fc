// The main window's decisions that guard the user's work and the ranges typed in: whether
// replacing the list would lose rows, what to do with the answer to that question, the
// counts the status bar shows. No Qt. (Whether a typed range can be scanned: scan/typed_range.h.)
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/logic/result_list.h"
#include "scan/address_forms.h"
#include "scan/typed_range.h"

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

} // namespace tessvale
