#include "store/favorites_list.h"

#include <algorithm>
#include <mutex>

#include "store/config_store.h"

namespace tessvale {

void FavoritesList::Load(ConfigStore& store)
{
    m_rows.clear();
    m_removed.clear();
    std::vector<ConfigRecord> results;
    store.ListRecords(MakeResultRecord(), results);
    for (const ConfigRecord& result : results) {
        m_rows.push_back({result.Value(kResultName), result.Value(kResultIpRange), result.id});
    }
}

FavoritesList::AddResult FavoritesList::Add(const std::string& name, const std::string& first, const std::string& last)
{
    if (name.empty() || first.empty() || last.empty()) {
        return AddResult::Incomplete;
    }
    const bool exists =
        std::any_of(m_rows.begin(), m_rows.end(), [&](const FavoriteRow& row) { return row.name == name; });
    if (exists) {
        return AddResult::Duplicate;
    }
    m_rows.push_back({name, first + "-" + last, 0});
    return AddResult::Added;
}

bool FavoritesList::Modify(std::size_t index, const std::string& name, const std::string& first,
                           const std::string& last)
{
    if (index >= m_rows.size() || name.empty() || first.empty() || last.empty()) {
        return false;
    }
    m_rows[index].name = name;
    m_rows[index].range = first + "-" + last;
    return true;
}

void FavoritesList::Remove(std::vector<std::size_t> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (std::size_t index : indexes) {
        if (index < m_rows.size()) {
            m_removed.push_back(m_rows[index].id);
        }
    }
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        if (*it < m_rows.size()) {
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    }
}

FileError FavoritesList::Commit(ConfigStore& store)
{
    return store.Atomically([this](ConfigStore& held) { return CommitHeld(held); });
}

FileError FavoritesList::CommitHeld(ConfigStore& store)
{
    for (FavoriteRow& row : m_rows) {
        ConfigRecord result = MakeResultRecord();
        if (row.id != 0) {
            result.id = row.id;
            store.ReadRecord(result);
            if (result.Value(kResultName) != row.name) {
                result.SetValue(kResultName, row.name);
            }
        } else {
            result.SetValue(kResultName, row.name);
            store.AddRecord(result);
            row.id = result.id;
        }
        result.SetValue(kResultIpRange, row.range);
        store.WriteRecord(result);
    }
    for (std::uint32_t id : m_removed) {
        if (id == 0) {
            continue; // added and removed before OK: nothing was stored
        }
        ConfigRecord result = MakeResultRecord();
        result.id = id;
        store.DeleteResult(result);
    }
    m_removed.clear();
    return store.Save() ? FileError{} : store.LastSaveError();
}

void FavoritesList::SplitRange(const std::string& range, std::string& first, std::string& last)
{
    const std::size_t dash = range.find('-');
    if (dash == std::string::npos) {
        first = range;
        last.clear();
        return;
    }
    first = range.substr(0, dash);
    last = range.substr(dash + 1);
}

} // namespace tessvale
