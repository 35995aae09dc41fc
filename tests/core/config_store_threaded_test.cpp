// Scan workers read the settings while the window thread writes and saves the document.
#include <atomic>
#include <chrono>
#include <future>
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
                // The writer always writes one number into all four values at once
                // (settings whose ranges hold 1 to 100, so none reads as its default);
                // before its first write the reader sees the defaults.
                const std::string& span = settings.Value(kAutoscanSpanSeconds);
                const bool defaults = span == "0" && settings.Value(kAutoscanThreads) == "64" &&
                                      settings.Value(kProbeRatePerSecond) == "2000";
                const bool whole = settings.Value(kAutoscanThreads) == span &&
                                   settings.Value(kProbeRatePerSecond) == span &&
                                   settings.Value(kWmiPassword) == span && settings.Value(kWmiLogin) == span;
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
        for (const char* key : {kAutoscanSpanSeconds, kAutoscanThreads, kProbeRatePerSecond, kWmiPassword, kWmiLogin}) {
            settings.SetValue(key, value);
        }
        settings.id = 1;
        if (store.WriteRecord(settings) == 0) {
            store.AddRecord(settings);
        }
        ConfigRecord result = MakeResultRecord();
        result.SetValue(kResultName, "run " + value);
        store.AddRecord(result);
        if (!store.Atomically([](ConfigStore& held) { return held.Save(); })) {
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

TEST(ConfigStoreThreads, ScanReadsTheSettingsWithoutWalkingOrLockingAHugeDocument)
{
    // A hostile file of some 150000 items: looking the settings up in it costs a walk
    // over all of it, which a scan must not pay per address, nor wait for while the
    // window's thread holds the document (a save of such a file takes seconds).
    std::string content = R"(<config><settings><settings><id value="1"/><NetbiosTimeoutMSeconds value="250"/>)"
                          R"(</settings></settings><Item>)";
    for (int i = 0; i < 150000; ++i) {
        content += R"(<Item><id value=")" + std::to_string(i) + R"("/><ResultId value="1"/></Item>)";
    }
    content += "</Item></config>";
    ConfigStore store;
    ASSERT_TRUE(store.LoadBuffer(content));
    EXPECT_EQ(store.LoadSettings().Value(kNetbiosTimeoutMSeconds), "250");

    std::promise<void> held;
    std::promise<void> release;
    std::thread window([&] {
        store.Atomically([&](ConfigStore&) {
            held.set_value();
            release.get_future().wait();
        });
    });
    held.get_future().wait();
    auto reader = std::async(std::launch::async, [&] {
        int fast = 0;
        for (int i = 0; i < 100000; ++i) {
            fast += store.LoadSettings().Value(kNetbiosTimeoutMSeconds) == "250" ? 1 : 0;
        }
        return fast;
    });
    // Far longer than the reads take from the copy; walking the document 100000 times,
    // or waiting for the lock, would take hours.
    const bool finished = reader.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    release.set_value();
    window.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(reader.get(), 100000);
}

} // namespace
} // namespace tessvale
