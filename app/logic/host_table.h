// Hosts as lines of a table: the nine column texts of a scan's host record or of a
// result list row, written in any table form with the column table's names. No Qt.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/logic/result_list.h"
#include "app/logic/table_writer.h"
#include "scan/host_record.h"
#include "store/host_columns.h"

namespace tessvale {

// The nine texts, IP to NetCard Vendor; they point into the record or row given.
using HostTexts = std::array<std::string_view, kHostColumnCount>;
HostTexts TextsOf(const HostRecord& record);
HostTexts TextsOf(const ResultRow& row);

// What a line may carry besides the nine texts. JSON only: a status first (when not
// empty) and the names by source with the service types last (when given). All forms:
// the change column after the nine (when given).
struct HostLineExtras
{
    std::string_view status;
    const std::string* change = nullptr;
    const HostNames* names = nullptr;
};

// The names of the nine columns (and "Change" after them) as the form's header line;
// empty for JSON.
std::string HostHeaderLine(TableForm form, bool withChange);

std::string HostLine(const HostTexts& texts, TableForm form, const HostLineExtras& extras = {});

} // namespace tessvale
