#include <array>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/config_fixture.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

using test::kConfigDataFolder;
using test::List;
using test::ReadFile;
using test::WriteFile;

std::vector<std::array<std::string, ConfigRecord::kMaxFields>> Values(const std::vector<ConfigRecord>& records)
{
    std::vector<std::array<std::string, ConfigRecord::kMaxFields>> values;
    values.reserve(records.size());
    for (const ConfigRecord& record : records) {
        values.push_back(record.values);
    }
    return values;
}

using ConfigNotesTest = test::ConfigFileTest;

TEST_F(ConfigNotesTest, NotesAreOneMoreTableAndTheOthersKeepTheirPlaceAndBytes)
{
    const std::string original = ReadFile(kConfigDataFolder + "/written.xml");
    ASSERT_TRUE(m_store.Load(CopyOf("written.xml")));
    ASSERT_TRUE(m_store.SetNote("00-11-22-33-44-55", "Printer, 2nd floor"));
    ASSERT_TRUE(m_store.Save());

    // The document is the old one up to its closing tag, then the notes table.
    const std::string saved = ReadFile(m_store.Path());
    const std::string close = "</config>\n";
    ASSERT_EQ(original.substr(original.size() - close.size()), close);
    const std::string kept = original.substr(0, original.size() - close.size());
    ASSERT_EQ(saved.substr(0, kept.size()), kept);
    EXPECT_EQ(saved.substr(kept.size()), "\t<Note>\n"
                                         "\t\t<Note>\n"
                                         "\t\t\t<id value=\"1\" />\n"
                                         "\t\t\t<MAC value=\"00:11:22:33:44:55\" />\n"
                                         "\t\t\t<Comment value=\"Printer, 2nd floor\" />\n"
                                         "\t\t</Note>\n"
                                         "\t</Note>\n"
                                         "</config>\n");

    // The record layer reads the same settings, results and items with the notes there,
    // and its changes leave the notes alone.
    ConfigStore plain;
    ASSERT_TRUE(plain.Load(CopyOf("written.xml")));
    ConfigStore noted;
    ASSERT_TRUE(noted.LoadBuffer(saved));
    EXPECT_EQ(Values(List(noted, MakeItemRecord())), Values(List(plain, MakeItemRecord())));
    EXPECT_EQ(Values(List(noted, MakeResultRecord())), Values(List(plain, MakeResultRecord())));
    EXPECT_EQ(noted.LoadSettings().values, plain.LoadSettings().values);

    ConfigRecord item = MakeItemRecord();
    item.SetValue(kItemResultId, "1");
    item.SetValue(kItemMac, "00:11:22:33:44:55");
    noted.AddRecord(item);
    EXPECT_EQ(item.id, 2u);
    EXPECT_EQ(List(noted, MakeItemRecord()).size(), 2u);
    ConfigRecord result = MakeResultRecord();
    result.id = 1;
    noted.DeleteResult(result);
    EXPECT_TRUE(List(noted, MakeItemRecord()).empty());
    EXPECT_EQ(noted.NoteOf("00:11:22:33:44:55"), "Printer, 2nd floor");
    EXPECT_NE(noted.SavedText().find("<Comment value=\"Printer, 2nd floor\" />"), std::string::npos);
}

TEST_F(ConfigNotesTest, NotesSurviveASaveAndLoadKeyedByTheMacInAnySpelling)
{
    m_store.Load(m_folder.File("data/Tessvale.xml"));
    EXPECT_TRUE(m_store.SetNote("aa-bb-cc-dd-ee-0f", "Boss's laptop"));
    EXPECT_TRUE(m_store.SetNote("00:11:22:33:44:55", "Printer <Hall> & \"Lobby\""));
    EXPECT_TRUE(m_store.SetNote("001122334466", "Gone soon"));
    // Writing again replaces; an empty or blank text removes.
    EXPECT_TRUE(m_store.SetNote("AA:BB:CC:DD:EE:0F", "Boss's new laptop"));
    EXPECT_TRUE(m_store.SetNote("00:11:22:33:44:66", " \t "));
    // No note without a real MAC: empty, "-", all zeros or not six pairs.
    for (const char* mac :
         {"", "-", "00:00:00:00:00:00", "AA:BB:CC:DD:EE", "AA:BB:CC:DD:EE:FF:00", "zz:bb:cc:dd:ee:ff"}) {
        EXPECT_FALSE(m_store.SetNote(mac, "x")) << mac;
        EXPECT_EQ(m_store.NoteOf(mac), "") << mac;
    }
    ASSERT_TRUE(m_store.Save());

    ConfigStore reloaded;
    ASSERT_TRUE(reloaded.Load(m_store.Path()));
    const std::map<std::string, std::string> expected = {{"00:11:22:33:44:55", "Printer <Hall> & \"Lobby\""},
                                                         {"AA:BB:CC:DD:EE:0F", "Boss's new laptop"}};
    EXPECT_EQ(reloaded.Notes(), expected);
    EXPECT_EQ(reloaded.NoteOf("aa:bb:cc:dd:ee:0f"), "Boss's new laptop");
    EXPECT_EQ(reloaded.NoteOf("AABB.CCDD.EE0F"), "Boss's new laptop");
    EXPECT_EQ(reloaded.NoteOf("00:11:22:33:44:66"), "");
    // One record per MAC in the file.
    const std::string text = ReadFile(m_store.Path());
    std::size_t records = 0;
    for (std::size_t at = text.find("<Comment "); at != std::string::npos; at = text.find("<Comment ", at + 1)) {
        ++records;
    }
    EXPECT_EQ(records, 2u);

    // A load of another document drops what was read before.
    ASSERT_TRUE(reloaded.LoadBuffer("<config><Item/></config>"));
    EXPECT_TRUE(reloaded.Notes().empty());
}

TEST_F(ConfigNotesTest, HostileNotesAreBoundedBlankedAndOnlyTheTableCounts)
{
    const std::string huge(200000, 'n');
    const std::string document =
        "<config>"
        "<Item><Item><id value=\"1\"/><config><Note><Note><MAC value=\"02:00:00:00:00:09\"/>"
        "<Comment value=\"nested in an item\"/></Note></Note></config></Item></Item>"
        "<Note>"
        "<Note><id value=\"1\"/><MAC value=\"02:00:00:00:00:01\"/><Comment value=\"" +
        huge +
        "\"/></Note>"
        "<Note><id value=\"2\"/><MAC value=\"02-00-00-00-00-02\"/>"
        "<Comment value=\"line&#10;break&#13;&#9;tab&#x1b;[31m red\"/></Note>"
        "<Note><id value=\"3\"/><MAC value=\"02:00:00:00:00:03\"/><Comment value=\"outer\"/>"
        "<Note><id value=\"4\"/><MAC value=\"02:00:00:00:00:04\"/><Comment value=\"inner\"/></Note></Note>"
        "<Note><id value=\"5\"/><MAC value=\"02:00:00:00:00:03\"/><Comment value=\"second of a MAC\"/></Note>"
        "<Note><id value=\"6\"/><MAC value=\"00:00:00:00:00:00\"/><Comment value=\"zero\"/></Note>"
        "<Note><id value=\"7\"/><MAC value=\"not a mac\"/><Comment value=\"junk\"/></Note>"
        "<Note><id value=\"8\"/><MAC value=\"02:00:00:00:00:08\"/><Comment value=\"\xff\xfe bad\"/></Note>"
        "</Note>"
        "</config>";
    ASSERT_TRUE(m_store.LoadBuffer(document));
    const std::map<std::string, std::string> notes = m_store.Notes();

    EXPECT_EQ(notes.at("02:00:00:00:00:01"), std::string(ConfigStore::kMaxNoteChars, 'n'));
    EXPECT_EQ(notes.at("02:00:00:00:00:02"), "line break  tab [31m red");
    EXPECT_EQ(notes.at("02:00:00:00:00:03"), "outer");
    EXPECT_EQ(notes.count("02:00:00:00:00:04"), 0u); // inside another note
    EXPECT_EQ(notes.count("02:00:00:00:00:09"), 0u); // inside an item
    EXPECT_EQ(notes.count("00:00:00:00:00:00"), 0u);
    EXPECT_EQ(notes.size(), notes.count("02:00:00:00:00:08") + 3u);
    for (const auto& [mac, text] : notes) {
        for (const char c : text) {
            EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << mac;
        }
    }

    // Setting a MAC's note replaces every record of it; a long text is cut as on reading.
    ASSERT_TRUE(m_store.SetNote("02:00:00:00:00:03", huge + "\n"));
    EXPECT_EQ(m_store.NoteOf("02:00:00:00:00:03"), std::string(ConfigStore::kMaxNoteChars, 'n'));
    const std::string saved = m_store.SavedText();
    EXPECT_EQ(saved.find("second of a MAC"), std::string::npos);
    EXPECT_EQ(saved.find("\"outer\""), std::string::npos);
    EXPECT_NE(saved.find("nested in an item"), std::string::npos); // not ours to drop
}

TEST_F(ConfigNotesTest, FailedSaveOfANoteIsReportedAndTheNoteKeptInMemory)
{
    const std::string blocker = m_folder.File("not-a-folder");
    ASSERT_TRUE(WriteFile(blocker, "x"));
    m_store.Load(blocker + "/Tessvale.xml");
    EXPECT_FALSE(m_store.SaveNote("02:00:00:00:00:01", "kept"));
    EXPECT_TRUE(static_cast<bool>(m_store.LastSaveError()));
    EXPECT_EQ(m_store.NoteOf("02:00:00:00:00:01"), "kept");

    m_store.Load(m_folder.File("ok/Tessvale.xml"));
    EXPECT_FALSE(m_store.SaveNote("-", "no MAC"));
    EXPECT_TRUE(m_store.SaveNote("02:00:00:00:00:01", "saved"));
    ConfigStore reloaded;
    ASSERT_TRUE(reloaded.Load(m_folder.File("ok/Tessvale.xml")));
    EXPECT_EQ(reloaded.NoteOf("02:00:00:00:00:01"), "saved");
}

} // namespace
} // namespace tessvale
