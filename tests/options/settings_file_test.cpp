#include "options/settings_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/doubles/files.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"

namespace {

// A line printed for the user to add (--find-port's port) reads back as the same value.
TEST(SettingsFile, ASettingLineReadsBackAsItsValue) {
    for (const std::string value :
         {"/dev/ttyUSB0", "/dev/serial/by-id/usb-IR_#2-port0", "/tmp/my #port", "#port", " lead",
          "trail\t", "\"quoted\"", "'it's'", "a = b ; c", "C:\\Ports\\COM3", ""}) {
        const ScratchFolder scratch;
        const std::string file = scratch.FilePath("quorvel.conf");
        std::ofstream(file, std::ios::binary) << SettingLine("port", value) << "\n";
        const SettingsRead read = ReadSettings(file);
        ASSERT_EQ(read.problem, "") << value;
        ASSERT_EQ(read.settings.size(), 1u) << value;
        EXPECT_EQ(read.settings[0].value, value) << SettingLine("port", value);
    }
    // No line holds these.
    EXPECT_EQ(SettingLine("port", "a\nb"), "");
    EXPECT_EQ(SettingLine("port", "a\"b'c"), "");
}

TEST(SettingsFile, TheDefaultOneIsBesideTheKeyMap) {
    const ScratchFolder scratch;
    const ScopedVariable config("XDG_CONFIG_HOME", scratch.Path());
    const std::filesystem::path path = DefaultSettingsPath();
    EXPECT_EQ(path, std::filesystem::path(scratch.Path()) / "quorvel" / "quorvel.conf");
}

TEST(SettingsFile, SavingChangesOnlyThatKeysLine) {
    struct Case {
        std::optional<std::string> before;
        std::string key, value, after;
        std::vector<std::string_view> replacing = {};
    };
    const Case cases[] = {
        {std::nullopt, "port", "/dev/ttyUSB0", "port = /dev/ttyUSB0\n"},
        // The line in force is the last.
        {"# the receiver\nport = /dev/a\nplayer = vlc\nport = /dev/b # old\n", "port", "/dev/c",
         "# the receiver\nport = /dev/a\nplayer = vlc\nport = /dev/c\n"},
        {"player = vlc\r\nconsole = true", "port", "COM3",
         "player = vlc\r\nconsole = true\r\nport = COM3\r\n"},
        // Quoted, as it would not read back otherwise.
        {"", "player", " a # b", "player = \" a # b\"\n"},
        // One key source takes the place of another, or of several devices.
        {"input = /dev/a\nplayer = vlc\r\ninput = name=B\n",
         "lircd",
         "/run/l",
         "player = vlc\r\nlircd = /run/l\n",
         {"port", "lircd", "input"}},
        {"port = /dev/a\nlircd = /run/l", "port", "/dev/b", "port = /dev/b\n", {"port", "lircd"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.value_or("(none)"));
        const ScratchFolder scratch;
        // A folder that is not there yet is made.
        const std::string file = scratch.FilePath("quorvel/quorvel.conf");
        if (c.before) {
            std::filesystem::create_directory(scratch.FilePath("quorvel"));
            std::ofstream(file, std::ios::binary) << *c.before;
        }
        std::string problem;
        EXPECT_TRUE(SaveSetting(file, c.key, c.value, problem, c.replacing)) << problem;
        EXPECT_EQ(FileText(file), c.after);
        const SettingsRead read = ReadSettings(file);
        ASSERT_EQ(read.problem, "");
        EXPECT_EQ(read.settings.back().value, c.value);
    }
}

}  // namespace
