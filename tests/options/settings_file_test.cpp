#include "options/settings_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "options/command_line.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"

namespace {

std::string Utf16Le(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) {
        bytes += std::string{c, '\0'};
    }
    return bytes;
}

// What the program runs with, or its problem after "quorvel: FILE".
std::string Outcome(const CommandLine& parsed, const std::string& file) {
    using Command = CommandLine::Command;
    if (parsed.command == Command::UsageError) {
        const std::string head = "quorvel: " + file;
        return parsed.problem.rfind(head, 0) == 0 ? parsed.problem.substr(head.size())
                                                  : parsed.problem;
    }
    std::string outcome;
    for (const std::string& port : parsed.SerialPorts()) {
        outcome += (outcome.empty() ? "" : ",") + port;
    }
    outcome += " [" + parsed.player + "]";
    for (const std::string& list : parsed.ignoredPlayers) {
        outcome += " -" + list;
    }
    if (!parsed.keys.empty()) {
        const std::string folder = std::filesystem::path(file).parent_path().string();
        outcome += " keys=" + (parsed.keys.rfind(folder, 0) == 0
                                   ? "DIR" + parsed.keys.substr(folder.size())
                                   : parsed.keys);
    }
    return outcome + (parsed.command == Command::RunConsole ? " console" : "") +
           (parsed.follow ? " follow" : "") + (parsed.minimized ? " minimized" : "") +
           (parsed.notify ? " notify" : "") + (parsed.command == Command::FindPort ? " find" : "");
}

const std::string Usual =
    "port = /dev/ttyUSB0\nplayer = vlc,spotify\nconsole = true\nfollow = yes\n";
const std::string Refused = " (try --help)\n";

TEST(SettingsFile, FillsInWhatTheCommandLineLeftOut) {
    struct Case {
        std::optional<std::string> file;  // none: there is no file
        std::vector<std::string> args;    // FILE: the file's path; else it is the default one
        std::string outcome;
    };
    const Case cases[] = {
        {Usual, {}, "/dev/ttyUSB0 [vlc,spotify] console follow"},
        {Usual, {"--port", "/dev/pts/3", "--player=mpv"}, "/dev/pts/3 [mpv] console follow"},
        {"player = vlc\nignore-player = mpv\n", {"--no-player"}, "/dev/ttyS0 []"},
        {"# mine\n; also a note\n\nport = /dev/a\nport = /dev/b  # the adapter\n"
         "player = \"VLC media player\" # its Identity\n"
         "ignore-player = firefox\nignore-player = chromium,mpv\n",
         {},
         "/dev/a,/dev/b [VLC media player] -firefox -chromium,mpv"},
        {"port = /dev/ttyACM0\n", {"--config", "FILE"}, "/dev/ttyACM0 []"},
        // A map named beside the file is that one, whatever the working folder.
        {"keys = remote.conf\n", {}, "/dev/ttyS0 [] keys=DIR/remote.conf"},
        {"keys = /etc/remote.conf\n", {}, "/dev/ttyS0 [] keys=/etc/remote.conf"},
        {"keys = /etc/remote.conf\n", {"--keys", "mine.conf"}, "/dev/ttyS0 [] keys=mine.conf"},
        // What the file adds never clashes with the command line: the service's --console
        // leaves a window's minimized = true with nothing to do; --find-port looks anew.
        {"minimized = true\n", {"--console"}, "/dev/ttyS0 [] console"},
        {"minimized = true\n", {}, "/dev/ttyS0 [] minimized"},
        {"port = /dev/ttyACM0\n", {"--find-port"}, "/dev/ttyACM0 [] find"},
        // Read as text is read (the encodings and line ends are DecodeText's).
        {Utf16Le("console = true\r\n"), {}, "/dev/ttyS0 [] console"},
        {std::nullopt, {}, "/dev/ttyS0 []"},
        {std::nullopt, {"--config=FILE"}, ": no such file" + Refused},
        {"port = /dev/a\ncolour = red\n", {}, ":2: unknown setting 'colour'" + Refused},
        {"learn = true\n", {}, ":1: setting 'learn' is for the command line only" + Refused},
        {"follow = maybe\n", {}, ":1: setting 'follow' is true or false" + Refused},
        // What the file turns on, the command line can turn off.
        {"console = true\nnotify = true\n", {"--no-console", "--no-notify"}, "/dev/ttyS0 []"},
        {"console = yes\nfollow = on\n", {"--console=false"}, "/dev/ttyS0 [] follow"},
        {"minimized = TRUE\nnotify = 1\n",
         {"--no-minimized", "--console"},
         "/dev/ttyS0 [] console notify"},
        {"console = 0x1\n", {}, ":1: setting 'console' is true or false" + Refused},
        {"notify = 2\n", {}, ":1: setting 'notify' is true or false" + Refused},
        {"no-console = true\n",
         {},
         ":1: unknown setting 'no-console' (a flag is set with true or false)" + Refused},
        {"player = vlc,,mpv\n",
         {},
         ":1: option '--player' has an empty name in 'vlc,,mpv'" + Refused},
        {"port =\n", {}, ":1: setting 'port' needs a value" + Refused},
        {"port /dev/a\n", {}, ":1: expected NAME = VALUE" + Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.value_or("(none)"));
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
        const CommandLine parsed = CommandLine::Parse(args, named ? scratch.FilePath("x") : file);
        EXPECT_EQ(Outcome(parsed, file), c.outcome);
    }
}

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
