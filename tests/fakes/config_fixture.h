// The configuration document's tests: a store over a copy of a file of the test data in
// a fresh folder, and the records of a table.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/temp_folder.h"
#include "store/config_store.h"

namespace tessvale::test {

inline const std::string kConfigDataFolder = std::string(TESSVALE_TEST_DATA) + "/config";

// Every record of the template's table, in document order.
inline std::vector<ConfigRecord> List(ConfigStore& store, const ConfigRecord& templ)
{
    std::vector<ConfigRecord> records;
    EXPECT_EQ(store.ListRecords(templ, records), 1);
    return records;
}

class ConfigFileTest : public ::testing::Test
{
protected:
    // Copies a file of the test data into the folder, so that saves never touch the
    // original; returns the copy's path.
    std::string CopyOf(const std::string& name)
    {
        std::string copy = m_folder.File("Tessvale.xml");
        EXPECT_TRUE(WriteFile(copy, ReadFile(kConfigDataFolder + "/" + name)));
        return copy;
    }
    bool LoadCopy(const std::string& name) { return m_store.Load(CopyOf(name)); }

    TempFolder m_folder;
    ConfigStore m_store;
};

} // namespace tessvale::test
