#include "app/logic/host_table.h"

#include <vector>

namespace tessvale {
namespace {

// Every name with its source (null where the source gave none) and the DNS-SD
// service types, as members of a host's JSON object.
std::string JsonNames(const HostNames& names)
{
    const auto value = [](const std::string& name) {
        return name.empty() ? std::string("null") : TableField(name, TableForm::JsonLine);
    };
    std::string json = R"("names":{"netbios":)" + value(names.netbios) + R"(,"mdns":)" + value(names.mdns) +
                       R"(,"dns":)" + value(names.dns) + R"(},"services":[)";
    for (std::size_t i = 0; i < names.services.size(); ++i) {
        json += (i > 0 ? "," : "") + TableField(names.services[i], TableForm::JsonLine);
    }
    return json + "]";
}

std::string_view NameOf(int column)
{
    return ColumnOf(column).name;
}

} // namespace

HostTexts TextsOf(const HostRecord& record)
{
    const HostInventory& inventory = record.inventory;
    return {record.ip,          record.mac,       record.hostName,         inventory.cpu,
            inventory.memoryMb, inventory.shares, inventory.systemVersion, inventory.adapterSpeed,
            inventory.vendor};
}

HostTexts TextsOf(const ResultRow& row)
{
    HostTexts texts;
    for (int column = kColumnIp; column < kColumnCount; ++column) {
        texts[static_cast<std::size_t>(column - kColumnIp)] = row.text[static_cast<std::size_t>(column)];
    }
    return texts;
}

std::string HostHeaderLine(TableForm form, bool withChange)
{
    std::vector<TableCell> cells;
    for (int column = kColumnIp; column < (withChange ? kListColumnCount : kColumnCount); ++column) {
        cells.push_back({NameOf(column), {}});
    }
    return TableHeaderLine(cells, form);
}

std::string HostLine(const HostTexts& texts, TableForm form, const HostLineExtras& extras)
{
    const bool json = form == TableForm::JsonLine;
    std::vector<TableCell> cells;
    if (json && !extras.status.empty()) {
        cells.push_back({NameOf(kColumnStatus), extras.status});
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        cells.push_back({NameOf(kColumnIp + static_cast<int>(i)), texts[i]});
    }
    if (extras.change != nullptr) {
        cells.push_back({NameOf(kColumnChange), *extras.change});
    }
    return TableLine(cells, form, json && extras.names != nullptr ? JsonNames(*extras.names) : std::string());
}

} // namespace tessvale
