#include "program/settings_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "program/command_line.h"
#include "tests/doubles/scratch_folder.h"

namespace {

std::string Utf16Le(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::string Contents(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

struct SettingsCase {
    const char* name;
    // The file's bytes; none: there is no file.
    std::optional<std::string> file;
    // "FILE" stands for the file's path; without --config it is the default one.
    std::vector<std::string> args;
    std::string port = CommandLine::DefaultPort;
    std::string player;
    bool console = false;
    bool follow = false;
    std::vector<std::string> ignored = {};
    // After "quorvel: FILE"; empty when the program runs.
    std::string err = {};
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsFileCases : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsFileCases, FillInWhatTheCommandLineLeftOut) {
    const SettingsCase& c = GetParam();
    const ScratchFolder scratch;
    const std::string file = scratch.FilePath("quorvel.conf");
    if (c.file) {
        std::ofstream(file, std::ios::binary) << *c.file;
    }
    std::vector<std::string> args = c.args;
    bool named = false;
    for (std::string& arg : args) {
        if (const auto at = arg.find("FILE"); at != std::string::npos) {
            arg.replace(at, 4, file);
            named = true;
        }
    }
    const CommandLine parsed =
        CommandLine::Parse(args, named ? scratch.FilePath("unused.conf") : file);
    if (!c.err.empty()) {
        EXPECT_EQ(parsed.exitStatus, CommandLine::UsageError);
        EXPECT_EQ(parsed.err, "quorvel: " + file + c.err + " (try --help)\n");
        return;
    }
    EXPECT_EQ(parsed.err, "");
    EXPECT_EQ(parsed.action, CommandLine::Action::Run);
    EXPECT_EQ(parsed.port, c.port);
    EXPECT_EQ(parsed.player, c.player);
    EXPECT_EQ(parsed.console, c.console);
    EXPECT_EQ(parsed.follow, c.follow);
    EXPECT_EQ(parsed.ignoredPlayers, c.ignored);
    EXPECT_EQ(parsed.config, file);
}

const std::string Usual =
    "port = /dev/ttyUSB0\nplayer = vlc,spotify\nconsole = true\nfollow = yes\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileCases,
    ::testing::Values(
        SettingsCase{"ValuesFromTheFile", Usual, {}, "/dev/ttyUSB0", "vlc,spotify", true, true},
        SettingsCase{"TheCommandLineWins",
                     Usual,
                     {"--port", "/dev/pts/3", "--player=mpv"},
                     "/dev/pts/3",
                     "mpv",
                     true,
                     true},
        SettingsCase{"NoPlayerOnTheCommandLineDropsTheFilesPlayers",
                     "player = vlc\nignore-player = mpv\n",
                     {"--no-player"},
                     "/dev/ttyS0",
                     ""},
        SettingsCase{"NotesQuotesAndRepeatedLines",
                     "# mine\n; also a note\n\nport = /dev/a\nport = /dev/b  # the adapter\n"
                     "player = \"VLC media player\" # its Identity\n"
                     "ignore-player = firefox\nignore-player = chromium,mpv\n",
                     {},
                     "/dev/b",
                     "VLC media player",
                     false,
                     false,
                     {"firefox", "chromium,mpv"}},
        SettingsCase{
            "ANamedFile", "port = /dev/ttyACM0\n", {"--config", "FILE"}, "/dev/ttyACM0", ""},
        SettingsCase{"Utf8WithAByteOrderMark",
                     "\xEF\xBB\xBFport = /dev/ttyACM0\r\n",
                     {},
                     "/dev/ttyACM0",
                     ""},
        SettingsCase{"Utf16", Utf16Le("console = true\r\n"), {}, "/dev/ttyS0", "", true},
        SettingsCase{"NoDefaultFileIsFine", std::nullopt, {}, "/dev/ttyS0", ""},
        SettingsCase{"ANamedFileMustExist",
                     std::nullopt,
                     {"--config=FILE"},
                     "",
                     "",
                     false,
                     false,
                     {},
                     ": no such file"},
        SettingsCase{"AnUnknownKey",
                     "port = /dev/a\ncolour = red\n",
                     {},
                     "",
                     "",
                     false,
                     false,
                     {},
                     ":2: unknown setting 'colour'"},
        SettingsCase{"ACommandLineOnlyOption",
                     "learn = true\n",
                     {},
                     "",
                     "",
                     false,
                     false,
                     {},
                     ":1: setting 'learn' is for the command line only"},
        SettingsCase{"ABadValue",
                     "follow = maybe\n",
                     {},
                     "",
                     "",
                     false,
                     false,
                     {},
                     ":1: setting 'follow' is true or false"},
        SettingsCase{"AValueTheOptionRefuses",
                     "player = vlc,,mpv\n",
                     {},
                     "",
                     "",
                     false,
                     false,
                     {},
                     ":1: option '--player' has an empty name in 'vlc,,mpv'"},
        SettingsCase{"AnEmptyValue",
                     "port =\n",
                     {},
                     "",
                     "",
                     false,
                     false,
                     {},
                     ":1: setting 'port' needs a value"},
        SettingsCase{"ALineWithoutAValue",
                     "port /dev/a\n",
                     {},
                     "",
                     "",
                     false,
                     false,
                     {},
                     ":1: expected NAME = VALUE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, TheDefaultOneIsBesideTheKeyMap) {
    const ScratchFolder scratch;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = config != nullptr ? config : "";
    ::setenv("XDG_CONFIG_HOME", scratch.Path().c_str(), 1);
    const std::filesystem::path path = DefaultSettingsPath();
    if (config != nullptr) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(path, std::filesystem::path(scratch.Path()) / "quorvel" / "quorvel.conf");
}

struct SaveCase {
    const char* name;
    std::optional<std::string> before;
    std::string key;
    std::string value;
    std::string after;
};

void PrintTo(const SaveCase& c, std::ostream* os) {
    *os << c.name;
}

class SaveSettingCases : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveSettingCases, ChangesOnlyThatKeysLine) {
    const SaveCase& c = GetParam();
    const ScratchFolder scratch;
    // A folder that is not there yet is made.
    const std::string file = scratch.FilePath("quorvel/quorvel.conf");
    if (c.before) {
        std::filesystem::create_directory(scratch.FilePath("quorvel"));
        std::ofstream(file, std::ios::binary) << *c.before;
    }
    std::string problem;
    EXPECT_TRUE(SaveSetting(file, c.key, c.value, problem)) << problem;
    EXPECT_EQ(problem, "");
    EXPECT_EQ(Contents(file), c.after);
    const SettingsRead read = ReadSettings(file);
    ASSERT_EQ(read.problem, "");
    EXPECT_EQ(read.settings.back().value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveSettingCases,
    ::testing::Values(
        SaveCase{"ANewFile", std::nullopt, "port", "/dev/ttyUSB0", "port = /dev/ttyUSB0\n"},
        SaveCase{"ReplacesTheLineInForce",
                 "# the receiver\nport = /dev/a\nplayer = vlc\nport = /dev/b # old\n", "port",
                 "/dev/serial/by-id/usb-IR-if00",
                 "# the receiver\nport = /dev/a\nplayer = vlc\nport = "
                 "/dev/serial/by-id/usb-IR-if00\n"},
        SaveCase{"AppendsAfterALastLineWithoutItsEnd", "player = vlc\r\nconsole = true", "port",
                 "COM3", "player = vlc\r\nconsole = true\r\nport = COM3\r\n"},
        SaveCase{"QuotesAValueThatWouldNotReadBack", "", "player", " a # b",
                 "player = \" a # b\"\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
