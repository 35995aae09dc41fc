// Scan workers read the settings while the window thread writes and saves the document.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/temp_folder.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

TEST(ConfigStoreThreads, ReadersSeeWholeSettingsWhileTheWriterAddsAndSaves)
{
    test::TempFolder folder;
    ConfigStore store;
    store.Load(folder.File("Tessvale.xml"));

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    readers.reserve(4);
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!done.load()) {
                const ConfigRecord settings = store.LoadSettings();
                // The writer always writes one number into all four values at once;
                // before its first write the reader sees the defaults.
                const std::string& span = settings.Value(kAutoscanSpanSeconds);
                const bool defaults = span == "0" && settings.Value(kAutoscanThreads) == "64" &&
                                      settings.Value(kNetbiosTimeoutMSeconds) == "1000" &&
                                      settings.Value(kAutoUpdate) == "1";
                const bool whole = settings.Value(kAutoscanThreads) == span &&
                                   settings.Value(kNetbiosTimeoutMSeconds) == span &&
                                   settings.Value(kAutoUpdate) == span && settings.Value(kWmiLogin) == span;
                if (!defaults && !whole) {
                    ++torn;
                }
                ++reads;
            }
        });
    }

    int failedSaves = 0;
    ConfigRecord settings = MakeSettingsRecord();
    for (int round = 1; round <= 100; ++round) {
        const std::string value = std::to_string(round);
        for (const char* key :
             {kAutoscanSpanSeconds, kAutoscanThreads, kNetbiosTimeoutMSeconds, kAutoUpdate, kWmiLogin}) {
            settings.SetValue(key, value);
        }
        settings.id = 1;
        if (store.WriteRecord(settings) == 0) {
            store.AddRecord(settings);
        }
        ConfigRecord result = MakeResultRecord();
        result.SetValue(kResultName, "run " + value);
        store.AddRecord(result);
        std::lock_guard lock(store.Mutex());
        if (!store.Save()) {
            ++failedSaves;
        }
    }
    // Give the readers a chance to run at least once even on a busy machine.
    while (reads.load() < 8) {
        std::this_thread::yield();
    }
    done = true;
    for (std::thread& reader : readers) {
        reader.join();
    }

    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(failedSaves, 0);
    EXPECT_EQ(store.LoadSettings().Value(kAutoscanThreads), "100");
    ConfigStore reloaded;
    ASSERT_TRUE(reloaded.Load(folder.File("Tessvale.xml")));
    std::vector<ConfigRecord> results;
    reloaded.ListRecords(MakeResultRecord(), results);
    EXPECT_EQ(results.size(), 100u);
}

} // namespace
} // namespace tessvale
