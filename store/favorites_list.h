// The working copy behind the Favorites dialog: rows are edited freely and reach the
// configuration document only on Commit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/config_file.h"

namespace tessvale {

class ConfigStore;

struct FavoriteRow
{
    std::string name;
    std::string range;    // "first-last"
    std::uint32_t id = 0; // stored result id, 0 for a row added since opening
};

class FavoritesList
{
public:
    enum class AddResult
    {
        Added,
        Incomplete, // name or an address missing: nothing happens
        Duplicate,  // a row has exactly this name (case-sensitive)
    };

    // Loads every stored result, in document order.
    void Load(ConfigStore& store);

    const std::vector<FavoriteRow>& Rows() const { return m_rows; }

    // first/last empty means the address control is blank.
    AddResult Add(const std::string& name, const std::string& first, const std::string& last);
    // Changes row `index`; false when the name or an address is missing. Duplicate names
    // are allowed here.
    bool Modify(std::size_t index, const std::string& name, const std::string& first, const std::string& last);
    // Removes the rows (indexes in any order), remembering their ids.
    void Remove(std::vector<std::size_t> indexes);

    // Writes additions, renames, range changes and deletions (a deleted result takes its
    // stored hosts with it) and saves the document. What the save failed with, or no
    // error; the document in memory holds the changes either way, and committing
    // again writes the same.
    FileError Commit(ConfigStore& store);

    // Splits "first-last" at the first '-'.
    static void SplitRange(const std::string& range, std::string& first, std::string& last);

private:
    // Commit's steps, under the store's lock.
    FileError CommitHeld(ConfigStore& store);

    std::vector<FavoriteRow> m_rows;
    std::vector<std::uint32_t> m_removed;
};

} // namespace tessvale
