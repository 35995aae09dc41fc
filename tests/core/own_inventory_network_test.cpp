// The scanning computer's own row in a scan over the namespace test network: its
// adapter's MAC and the inventory read from local sources.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "fakes/temp_folder.h"
#include "store/config_store.h"
#include "test_network.h"

namespace tessvale {
namespace {

using test::RunCommand;

class OwnInventoryNetwork : public test::NetworkSuite<OwnInventoryNetwork>
{
public:
    // The network's id (at most 8 characters) carries this process's id.
    static inline const std::string kOptions =
        "--subnet 198.18.46.0/24 --netbios 0 --arp-only 1 --id inv" + std::to_string(::getpid() % 100000);
    static inline const char* kNetworkOptions = kOptions.c_str();

protected:
    // Writes the settings the scan reads: the inventory's login and password, or none.
    void Settings(const std::string& login, const std::string& password)
    {
        std::filesystem::create_directories(m_folder.Path() + "/Tessvale");
        std::ofstream(m_folder.Path() + "/Tessvale/Tessvale.xml")
            << "<?xml version=\"1.0\"?>\n<config>\n<settings>\n<settings>\n<id value=\"1\" />\n"
            << "<AutoUpdate value=\"0\" />\n<WmiLogin value=\"" << EncodeCredential(login) << "\" />\n"
            << "<WmiPassword value=\"" << EncodeCredential(password) << "\" />\n</settings>\n</settings>\n</config>\n";
    }

    // The fields of the scan's line for the address, scanned from the scanner.
    std::vector<std::string> ScanRow(const std::string& address) const
    {
        const std::string output = RunCommand("ip netns exec " + Scanner() + " env APPDATA=" + m_folder.Path() +
                                              " QT_QPA_PLATFORM=offscreen " + TESSVALE_EXECUTABLE + " --scan " +
                                              address + " " + address + " 2>/dev/null");
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream parts(line);
            for (std::string field; std::getline(parts, field, '\t');) {
                fields.push_back(field);
            }
            if (!fields.empty() && fields[0] == address) {
                fields.resize(9);
                return fields;
            }
        }
        return {};
    }

    static std::string InScanner(const std::string& command)
    {
        std::string output = RunCommand("ip netns exec " + Scanner() + " sh -c '" + command + "'");
        while (!output.empty() && output.back() == '\n') {
            output.pop_back();
        }
        return output;
    }

    test::TempFolder m_folder;
};

TEST_F(OwnInventoryNetwork, TheScannersOwnRowHasItsAdapterMacAndTheLocalInventory)
{
    const std::string own = Network().Env("SCANNER_IP");
    Settings("admin", "secret");
    const std::vector<std::string> row = ScanRow(own);
    ASSERT_EQ(row.size(), 9U) << "the scanner's own address is missing from the scan";
    // IP, MAC, host name, CPU, RAM, shares, system, adapter speed, vendor.
    EXPECT_EQ(row[1], InScanner("cat /sys/class/net/eth0/address | tr a-f A-F"));
    EXPECT_EQ(row[3],
              InScanner("grep -m1 \"^model name\" /proc/cpuinfo | cut -d: -f2- | sed \"s/^[ \\t]*//; s/[ \\t]*$//\""));
    EXPECT_EQ(row[4], InScanner("awk \"/^MemTotal:/ { print int(\\$2 / 1024) }\" /proc/meminfo"));
    EXPECT_EQ(row[5], "") << "no smbd serves the scanner's network";
    EXPECT_EQ(row[6], InScanner(". /etc/os-release; printf %s \"$PRETTY_NAME\""));
    EXPECT_EQ(row[7], InScanner("cat /sys/class/net/eth0/speed"));
    EXPECT_NE(row[8], "XEROX CORPORATION");

    // Without credentials no inventory is taken, for this computer as for any other.
    Settings("", "");
    const std::vector<std::string> plain = ScanRow(own);
    ASSERT_EQ(plain.size(), 9U);
    EXPECT_EQ(plain[1], row[1]);
    for (std::size_t field = 3; field <= 7; ++field) {
        EXPECT_EQ(plain[field], "-") << field;
    }
}

} // namespace
} // namespace tessvale
