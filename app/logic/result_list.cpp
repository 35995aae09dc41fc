#include "app/logic/result_list.h"

#include <algorithm>

#include "common/text_util.h"

namespace tessvale {

namespace {

std::array<std::string, kColumnCount> RecordTexts(const HostRecord& record)
{
    return {std::string(),
            record.ip,
            record.mac,
            record.hostName,
            record.inventory.cpu,
            record.inventory.memoryMb,
            record.inventory.shares,
            record.inventory.systemVersion,
            record.inventory.adapterSpeed,
            record.inventory.vendor};
}

} // namespace

int ResultList::InsertionIndex(const ResultRow& row) const
{
    const auto before = [&](const ResultRow& existing) {
        if (m_sortColumn < 0) {
            return existing.address > row.address; // true numeric order
        }
        const int order = Compare(row, existing, m_sortColumn);
        return m_sortAscending ? order < 0 : order > 0;
    };
    return static_cast<int>(std::find_if(m_rows.begin(), m_rows.end(), before) - m_rows.begin());
}

ResultList::Change ResultList::Placement(const HostRecord& record) const
{
    const Change existing = Placement(record.ip);
    if (!existing.inserted) {
        return existing;
    }
    ResultRow row;
    row.text = RecordTexts(record);
    row.address = ParseDottedQuad(record.ip).value_or(0);
    return {InsertionIndex(row), true};
}

ResultRow ResultList::GoneRow(const HostSnapshot& host)
{
    ResultRow row;
    row.image = kImageSilent;
    row.text[kColumnIp] = host.ip;
    row.text[kColumnMac] = host.mac;
    row.text[kColumnHostName] = host.name;
    row.address = ParseDottedQuad(host.ip).value_or(0);
    return row;
}

ResultList::Change ResultList::Placement(const HostSnapshot& host) const
{
    const Change existing = Placement(host.ip);
    return existing.inserted ? Change{InsertionIndex(GoneRow(host)), true} : existing;
}

ResultList::Change ResultList::Placement(const std::string& ip) const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].Ip() == ip) {
            return {static_cast<int>(i), false};
        }
    }
    // True numeric order: before the first row whose address is greater.
    const std::uint32_t address = ParseDottedQuad(ip).value_or(0);
    const auto at = std::find_if(m_rows.begin(), m_rows.end(),
                                 [&](const ResultRow& existing) { return existing.address > address; });
    return {static_cast<int>(at - m_rows.begin()), true};
}

ResultList::Change ResultList::HostFound(const HostRecord& record)
{
    ++m_online;
    const Change change = Placement(record);
    const auto texts = RecordTexts(record);
    if (!change.inserted) {
        ResultRow& row = m_rows[static_cast<std::size_t>(change.row)];
        row.image = kImageAnswered;
        std::copy(texts.begin() + kColumnMac, texts.end(), row.text.begin() + kColumnMac);
        row.names = record.names;
        return change;
    }
    ResultRow row;
    row.text = texts;
    row.names = record.names;
    row.address = ParseDottedQuad(record.ip).value_or(0);
    m_rows.insert(m_rows.begin() + change.row, std::move(row));
    return change;
}

std::vector<int> ResultList::HostSilent(const std::string& ip)
{
    std::vector<int> changed;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        ResultRow& row = m_rows[i];
        if (row.Ip() == ip) {
            ++m_offline;
            if (row.image != kImageSilent) {
                row.image = kImageSilent;
                changed.push_back(static_cast<int>(i));
            }
        }
    }
    return changed;
}

void ResultList::AppendStored(const StoredHost& host)
{
    ResultRow row;
    row.text = {std::string(), host.ip,        host.mac,       host.hostName,    host.cpu,
                host.ramMb,    host.shareFile, host.systemVer, host.netCardType, host.netCardVendor};
    row.address = ParseDottedQuad(host.ip).value_or(0);
    m_rows.push_back(std::move(row));
}

void ResultList::Clear()
{
    m_rows.clear();
}

void ResultList::ClearChanges()
{
    for (ResultRow& row : m_rows) {
        row.change.clear();
        row.tint = ChangeTint::None;
    }
}

int ResultList::MarkChange(const std::string& ip, const std::string& text, ChangeTint tint)
{
    const Change at = Placement(ip);
    if (at.inserted) {
        return -1;
    }
    ResultRow& row = m_rows[static_cast<std::size_t>(at.row)];
    row.change = text;
    row.tint = tint;
    return at.row;
}

ResultList::Change ResultList::MarkGone(const HostSnapshot& host)
{
    const Change at = Placement(host);
    if (at.inserted) {
        m_rows.insert(m_rows.begin() + at.row, GoneRow(host));
    }
    ResultRow& row = m_rows[static_cast<std::size_t>(at.row)];
    row.image = kImageSilent;
    row.change = std::string(ChangeWord(HostChangeKind::Gone));
    row.tint = ChangeTint::Gone;
    return at;
}

int ResultList::SortedIndexOf(int row) const
{
    if (m_sortColumn < 0 || row < 0 || row >= Count()) {
        return row;
    }
    const ResultRow& moving = m_rows[static_cast<std::size_t>(row)];
    const auto before = [&](const ResultRow& a, const ResultRow& b) {
        const int order = Compare(a, b, m_sortColumn);
        return m_sortAscending ? order < 0 : order > 0;
    };
    // Among the other rows: after every row it does not sort before.
    int to = 0;
    for (int i = 0; i < Count(); ++i) {
        if (i != row && !before(moving, m_rows[static_cast<std::size_t>(i)])) {
            to = (i < row ? i : i - 1) + 1;
        }
    }
    return to;
}

void ResultList::MoveRow(int row, int to)
{
    if (row < 0 || row >= Count() || to < 0 || to >= Count() || row == to) {
        return;
    }
    ResultRow moving = std::move(m_rows[static_cast<std::size_t>(row)]);
    m_rows.erase(m_rows.begin() + row);
    m_rows.insert(m_rows.begin() + to, std::move(moving));
}

void ResultList::RemoveRow(int row)
{
    if (row >= 0 && row < Count()) {
        m_rows.erase(m_rows.begin() + row);
    }
}

void ResultList::ResetCounters()
{
    m_online = 0;
    m_offline = 0;
}

int ResultList::Compare(const ResultRow& a, const ResultRow& b, int column)
{
    const auto threeWay = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (column) {
    case kColumnStatus:
        // Answered counts 1, silent 0: ascending puts the silent rows first.
        return threeWay(a.image == kImageAnswered ? 1 : 0, b.image == kImageAnswered ? 1 : 0);
    case kColumnIp:
        return threeWay(ParseDottedQuad(a.Ip()).value_or(0), ParseDottedQuad(b.Ip()).value_or(0));
    case kColumnRam:
    case kColumnNetCardType:
        return threeWay(ParseDecimal(a.text[column]), ParseDecimal(b.text[column]));
    case kColumnChange:
        return threeWay(a.change, b.change);
    default:
        if (column < 0 || column >= kColumnCount) {
            return 0;
        }
        return threeWay(ToLowerAscii(a.text[column]), ToLowerAscii(b.text[column]));
    }
}

void ResultList::SortByColumn(int column)
{
    if (column < 0 || column >= kListColumnCount) {
        return;
    }
    if (column == m_sortColumn) {
        m_sortAscending = !m_sortAscending;
    } else {
        m_sortColumn = column;
        m_sortAscending = true;
    }
    const bool ascending = m_sortAscending;
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const ResultRow& a, const ResultRow& b) {
        const int order = Compare(a, b, column);
        return ascending ? order < 0 : order > 0;
    });
}

bool ResultList::AnyHostNameMissing() const
{
    return std::any_of(m_rows.begin(), m_rows.end(),
                       [](const ResultRow& row) { return EqualsNoCase(row.text[kColumnHostName], "-"); });
}

bool ResultList::AnyCpuMissing() const
{
    return std::any_of(m_rows.begin(), m_rows.end(),
                       [](const ResultRow& row) { return EqualsNoCase(row.text[kColumnCpu], "-"); });
}

std::vector<StoredHost> ResultList::ToStoredHosts() const
{
    std::vector<StoredHost> hosts;
    hosts.reserve(m_rows.size());
    for (const ResultRow& row : m_rows) {
        const auto& t = row.text;
        hosts.push_back({t[kColumnIp], t[kColumnMac], t[kColumnHostName], t[kColumnCpu], t[kColumnRam],
                         t[kColumnShareFile], t[kColumnSystemVer], t[kColumnNetCardType], t[kColumnNetCardVendor]});
    }
    return hosts;
}

bool RowMatchesText(const ResultRow& row, std::string_view text)
{
    const std::string needle = ToLowerAscii(text);
    if (needle.empty()) {
        return true;
    }
    std::string bareMac;
    for (const char c : row.text[kColumnMac]) {
        if (c != ':' && c != '-') {
            bareMac += c;
        }
    }
    const std::string& mac = bareMac;
    for (const std::string* field : {&row.text[kColumnIp], &row.text[kColumnMac], &mac, &row.text[kColumnHostName],
                                     &row.text[kColumnNetCardVendor], &row.change}) {
        if (ToLowerAscii(*field).find(needle) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool RowPasses(const ResultRow& row, ListFilter filter)
{
    switch (filter) {
    case ListFilter::Answered:
        return row.image == kImageAnswered;
    case ListFilter::Changed:
        return !row.change.empty();
    case ListFilter::All:
        break;
    }
    return true;
}

ChangeTint TintOf(const std::vector<HostChange>& changes)
{
    ChangeTint tint = ChangeTint::None;
    const auto rank = [](ChangeTint t) {
        constexpr std::array order = {ChangeTint::None, ChangeTint::Gone, ChangeTint::New, ChangeTint::Changed,
                                      ChangeTint::Conflict};
        return std::ranges::find(order, t) - order.begin();
    };
    for (const HostChange& change : changes) {
        ChangeTint next = ChangeTint::Changed;
        if (change.kind == HostChangeKind::New) {
            next = ChangeTint::New;
        } else if (change.kind == HostChangeKind::Gone) {
            next = ChangeTint::Gone;
        } else if (change.kind == HostChangeKind::Conflict) {
            next = ChangeTint::Conflict;
        }
        if (rank(next) > rank(tint)) {
            tint = next;
        }
    }
    return tint;
}

HostSnapshot SnapshotOf(const HostRecord& record)
{
    return {record.ip, record.mac, record.hostName, record.otherMacs};
}

std::vector<HostSnapshot> SnapshotsOf(const std::vector<StoredHost>& hosts)
{
    std::vector<HostSnapshot> snapshots;
    snapshots.reserve(hosts.size());
    for (const StoredHost& host : hosts) {
        snapshots.push_back({host.ip, host.mac, host.hostName, {}});
    }
    return snapshots;
}

HostRecord RowToRecord(const ResultRow& row)
{
    HostRecord record;
    const auto& t = row.text;
    SetField(record.ip, t[kColumnIp], HostRecord::kIpCapacity);
    SetField(record.mac, t[kColumnMac], HostRecord::kMacCapacity);
    SetField(record.hostName, t[kColumnHostName], HostRecord::kHostNameCapacity);
    SetField(record.inventory.cpu, t[kColumnCpu], HostInventory::kCpuCapacity);
    SetField(record.inventory.memoryMb, t[kColumnRam], HostInventory::kMemoryCapacity);
    SetField(record.inventory.shares, t[kColumnShareFile], HostInventory::kSharesCapacity);
    SetField(record.inventory.systemVersion, t[kColumnSystemVer], HostInventory::kSystemVersionCapacity);
    SetField(record.inventory.adapterSpeed, t[kColumnNetCardType], HostInventory::kAdapterSpeedCapacity);
    SetField(record.inventory.vendor, t[kColumnNetCardVendor], HostInventory::kVendorCapacity);
    record.names = row.names;
    return record;
}

} // namespace tessvale
