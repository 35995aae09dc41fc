#include "app/logic/window_guards.h"

#include <algorithm>
#include <string>
#include <tuple>

namespace tessvale {

bool HoldsUnsavedRows(const std::vector<StoredHost>& shown, const std::vector<StoredHost>* stored)
{
    if (shown.empty()) {
        return false;
    }
    if (stored == nullptr) {
        return true;
    }
    const auto fields = [](const StoredHost& host) {
        return std::tie(host.ip, host.mac, host.hostName, host.cpu, host.ramMb, host.shareFile, host.systemVer,
                        host.netCardType, host.netCardVendor);
    };
    return !std::ranges::equal(shown, *stored,
                               [&](const StoredHost& a, const StoredHost& b) { return fields(a) == fields(b); });
}

ReplaceStep StepBeforeReplacing(bool unsaved, std::optional<UnsavedAnswer> answer)
{
    if (!unsaved) {
        return ReplaceStep::Go;
    }
    if (!answer) {
        return ReplaceStep::Stay; // the question was closed without an answer
    }
    switch (*answer) {
    case UnsavedAnswer::Save:
        return ReplaceStep::SaveFirst;
    case UnsavedAnswer::Discard:
        return ReplaceStep::Go;
    case UnsavedAnswer::Cancel:
        break;
    }
    return ReplaceStep::Stay;
}

RowCounts CountRows(const std::vector<ResultRow>& rows)
{
    RowCounts counts;
    for (const ResultRow& row : rows) {
        ++(row.image == kImageAnswered ? counts.online : counts.offline);
    }
    return counts;
}

} // namespace tessvale
