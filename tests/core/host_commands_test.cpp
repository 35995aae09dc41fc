#include <set>

#include <gtest/gtest.h>

#include "app/logic/host_commands.h"

namespace tessvale {
namespace {

TEST(HostCommands, SshRunsInTheFirstTerminalFoundWithItsOwnRunOption)
{
    struct Case
    {
        std::set<std::string> installed;
        std::vector<std::string> command; // empty: none
    };
    const std::vector<Case> cases = {
        {{"xterm", "x-terminal-emulator"}, {"x-terminal-emulator", "-e", "ssh", "198.18.0.5"}},
        {{"gnome-terminal", "xterm"}, {"gnome-terminal", "--", "ssh", "198.18.0.5"}},
        {{"xfce4-terminal"}, {"xfce4-terminal", "-x", "ssh", "198.18.0.5"}},
        {{"xterm"}, {"xterm", "-e", "ssh", "198.18.0.5"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        const auto command =
            SshCommand("198.18.0.5", [&](const std::string& program) { return c.installed.count(program) == 1; });
        EXPECT_EQ(command.value_or(std::vector<std::string>{}), c.command);
    }
    // Nothing but an address reaches a terminal: no option, no shell text.
    for (const char* text : {"-oProxyCommand=x", "198.18.0.5; rm -rf ~", "host", ""}) {
        EXPECT_FALSE(SshCommand(text, [](const std::string&) { return true; }).has_value()) << text;
        EXPECT_FALSE(PingCommand(text).has_value()) << text;
    }
}

TEST(HostCommands, PingAndWebAddresses)
{
    EXPECT_EQ(PingCommand("198.18.0.5").value(),
              (std::vector<std::string>{"ping", "-n", "-c", "4", "-W", "1", "198.18.0.5"}));
    EXPECT_EQ(WebAddress("198.18.0.5", false), "http://198.18.0.5");
    EXPECT_EQ(WebAddress("198.18.0.5", true), "https://198.18.0.5");
}

} // namespace
} // namespace tessvale
