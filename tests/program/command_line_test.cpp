#include "options/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "keymap/key_map_file.h"
#include "options/settings_file.h"
#include "platform/utf8_path.h"
#include "program/program_start.h"
#include "tests/doubles/scratch_folder.h"

namespace {

std::string Joined(const std::vector<std::string>& args) {
    std::string joined;
    for (const std::string& arg : args) {
        joined += (joined.empty() ? "" : " ") + arg;
    }
    return "[" + joined + "]";
}

TEST(CommandLineRuns, TakesPortsAndPlayer) {
    const struct {
        std::vector<std::string> args;
        std::string ports;
        std::string player;
    } cases[] = {
        {{}, "/dev/ttyS0", ""},
        {{"--port", "/dev/ttyUSB0"}, "/dev/ttyUSB0", ""},
        {{"--player", "vlc", "--port=/dev/pts/7"}, "/dev/pts/7", "vlc"},
        {{"--player=mpv"}, "/dev/ttyS0", "mpv"},
        // Each is read: several receivers at once.
        {{"--port", "/dev/a", "--port", "/dev/b"}, "/dev/a,/dev/b", ""},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.args);
        EXPECT_EQ(parsed.command, CommandLine::Command::RunWindow) << parsed.problem;
        std::string ports;
        for (const std::string& port : parsed.SerialPorts()) {
            ports += (ports.empty() ? "" : ",") + port;
        }
        EXPECT_EQ(ports, c.ports) << Joined(c.args);
        EXPECT_EQ(parsed.player, c.player) << Joined(c.args);
    }
}

// The parser only says what is to be done, reading no key map for it.
TEST(CommandLineCommands, HandsBackWhatWasAsked) {
    using Command = CommandLine::Command;
    const std::pair<std::vector<std::string>, Command> cases[] = {
        {{}, Command::RunWindow},
        {{"--console"}, Command::RunConsole},
        {{"--print-keys", "--keys", "/nonexistent/keys.conf"}, Command::PrintKeys},
        {{"--learn", "--console"}, Command::Learn},
        {{"--find-port", "--console"}, Command::FindPort},
        {{"--help", "--version"}, Command::PrintHelp},
        {{"--port", "/dev/x", "--version"}, Command::PrintVersion},
        {{"--frobnicate"}, Command::UsageError},
    };
    for (const auto& [args, command] : cases) {
        EXPECT_EQ(ParseCommandLine(args).command, command) << Joined(args);
    }
    EXPECT_TRUE(ParseCommandLine({"--learn", "--replace"}).replace);
    EXPECT_FALSE(ParseCommandLine({"--learn"}).replace);
}

// Off unless given; each flag the settings file can set, the command line can unset; the
// last one given wins.
TEST(CommandLineSwitches, TakeNoAndAValue) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"--no-player", "--notify", "--minimized", "--follow"},
         "notify minimized follow no-player"},
        {{"--console", "--no-console"}, ""},
        {{"--no-console", "--console"}, "console"},
        {{"--console=false", "--notify=yes", "--follow=TRUE", "--minimized=0"}, "notify follow"},
        {{"--no-notify", "--no-follow", "--no-minimized"}, ""},
        {{"--no-minimized", "--console"}, "console"},
    };
    for (const auto& [args, on] : cases) {
        const CommandLine parsed = ParseCommandLine(args);
        std::string said;
        for (const auto& [flag, name] :
             {std::pair{parsed.command == CommandLine::Command::RunConsole, "console"},
              std::pair{parsed.notify, "notify"}, std::pair{parsed.minimized, "minimized"},
              std::pair{parsed.follow, "follow"}, std::pair{!parsed.commandsPlayer, "no-player"}}) {
            said += flag ? (said.empty() ? "" : " ") + std::string(name) : "";
        }
        EXPECT_EQ(said, on) << Joined(args) << parsed.problem;
    }
}

TEST(CommandLineFindPort, TakesTheCandidatesNamedIfAny) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> candidates;
        bool sourceNamed;
    };
    for (const Case& c : {Case{{"--find-port"}, {}, false},
                          Case{{"--find-port", "/dev/a", "/dev/b"}, {"/dev/a", "/dev/b"}, false},
                          Case{{"--learn", "--port", "/dev/a"}, {}, true}}) {
        const CommandLine parsed = ParseCommandLine(c.args);
        EXPECT_EQ(parsed.findPortCandidates, c.candidates) << Joined(c.args);
        EXPECT_EQ(parsed.SourceNamed(), c.sourceNamed) << Joined(c.args);
    }
}

#ifndef _WIN32
// The key sources: the serial port by default, lircd (its default socket when given no
// value), input devices, together, from the command line or the settings file.
TEST(CommandLineSources, TakeLircdAndInputDevices) {
    ScratchFolder folder;
    const std::string settings = folder.FilePath("quorvel.conf");
    std::ofstream(settings) << "input = name=MCE IR Keyboard/Mouse\ninput = /dev/input/event3\n"
                               "grab = false\n";
    const struct {
        std::vector<std::string> args;
        std::string settings;
        std::string lircd;
        std::vector<std::string> inputs;
        bool grab;
    } cases[] = {
        {{}, "", "", {}, true},
        {{"--lircd"}, "", "/run/lirc/lircd", {}, true},
        {{"--lircd=/tmp/lircd.sock", "--console"}, "", "/tmp/lircd.sock", {}, true},
        {{"--input", "/dev/input/event5", "--input=name=Remote", "--no-grab"},
         "",
         "",
         {"/dev/input/event5", "name=Remote"},
         false},
        {{}, settings, "", {"name=MCE IR Keyboard/Mouse", "/dev/input/event3"}, false},
        {{"--grab"}, settings, "", {"name=MCE IR Keyboard/Mouse", "/dev/input/event3"}, true},
        // The command line's source takes the place of the file's.
        {{"--lircd"}, settings, "/run/lirc/lircd", {}, false},
        // A source it saved there does not keep it from looking again.
        {{"--find-remote"},
         settings,
         "",
         {"name=MCE IR Keyboard/Mouse", "/dev/input/event3"},
         false},
    };
    std::ofstream(folder.FilePath("both.conf"))
        << "port = /dev/ttyUSB0\nlircd = /tmp/s\nport = /dev/ttyUSB1\n";
    const CommandLine both = ParseCommandLine({}, folder.FilePath("both.conf"));
    EXPECT_EQ(both.ports, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"}))
        << both.problem;
    EXPECT_EQ(both.lircd, "/tmp/s");
    for (const auto& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.args, c.settings);
        EXPECT_EQ(parsed.command == CommandLine::Command::UsageError, false) << parsed.problem;
        EXPECT_EQ(parsed.lircd, c.lircd) << Joined(c.args);
        EXPECT_EQ(parsed.inputs, c.inputs) << Joined(c.args);
        EXPECT_EQ(parsed.grab, c.grab) << Joined(c.args);
    }
}
#endif

#ifndef _WIN32
// The broker and its options, from the command line or the settings file (where files are
// found beside it and topic lines add up); the command line's sources take its place.
TEST(CommandLineSources, TakeAnMqttBroker) {
    ScratchFolder folder;
    const std::string settings = folder.FilePath("quorvel.conf");
    std::ofstream(settings) << "mqtt = mqtts://me@broker.lan\nmqtt-topic = tele/+/RESULT\n"
                               "mqtt-topic = ir/#\nmqtt-publish = true\nmqtt-name = den\n"
                               "mqtt-ca = ca.pem\nmqtt-password-file = pass\n";
    const CommandLine file = ParseCommandLine({}, settings);
    EXPECT_EQ(file.mqtt, "mqtts://me@broker.lan") << file.problem;
    EXPECT_EQ(file.mqttTopics, (std::vector<std::string>{"tele/+/RESULT", "ir/#"}));
    EXPECT_TRUE(file.mqttPublish);
    EXPECT_EQ(file.mqttName, "den");
    EXPECT_EQ(file.mqttCa, folder.FilePath("ca.pem"));
    EXPECT_EQ(file.mqttPasswordFile, folder.FilePath("pass"));
    EXPECT_TRUE(file.SerialPorts().empty());
    const CommandLine here = ParseCommandLine(
        {"--mqtt=mqtt://10.0.0.2", "--mqtt-topic", "a/b", "--no-mqtt-publish"}, settings);
    EXPECT_EQ(here.mqtt, "mqtt://10.0.0.2") << here.problem;
    EXPECT_EQ(here.mqttTopics, (std::vector<std::string>{"a/b"}));
    EXPECT_FALSE(here.mqttPublish);
    EXPECT_EQ(ParseCommandLine({"--port", "/dev/ttyUSB0"}, settings).mqtt, "");
}

// Home Assistant's discovery: its prefix (its own by default; true and false in the settings
// file), which implies publishing.
TEST(CommandLineSources, TakeHomeAssistantsDiscovery) {
    ScratchFolder folder;
    const std::string settings = folder.FilePath("quorvel.conf");
    const struct {
        std::vector<std::string> args;
        const char* file;
        const char* prefix;
    } cases[] = {
        {{"--mqtt-discovery"}, "", "homeassistant"},
        {{"--mqtt-discovery=ha/test", "--no-mqtt-publish"}, "", "ha/test"},
        {{}, "mqtt-discovery = true\n", "homeassistant"},
        {{}, "mqtt-discovery = off\n", ""},
        {{"--mqtt-discovery"}, "mqtt-discovery = false\n", "homeassistant"},
    };
    for (const auto& c : cases) {
        std::ofstream(settings) << "mqtt = mqtt://broker.lan\n" << c.file;
        const CommandLine parsed = ParseCommandLine(c.args, settings);
        EXPECT_EQ(parsed.mqttDiscovery, c.prefix) << Joined(c.args) << parsed.problem;
        EXPECT_EQ(parsed.mqttPublish, *c.prefix != '\0') << Joined(c.args);
    }
}
#endif

TEST(CommandLinePlayers, TakesAListInOrderAndNamesToIgnore) {
    const CommandLine parsed = ParseCommandLine({"--player", "vlc,spotify,*", "--ignore-player",
                                                 "firefox", "--ignore-player=chromium,mpv"});
    EXPECT_EQ(parsed.command, CommandLine::Command::RunWindow);
    EXPECT_EQ(CommandLine::Names(parsed.player), (std::vector<std::string>{"vlc", "spotify", "*"}));
    EXPECT_EQ(parsed.ignoredPlayers, (std::vector<std::string>{"firefox", "chromium,mpv"}));
}

TEST(CommandLineUsageErrors, SayWhatIsWrong) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--verbose"}, "unknown option '--verbose'"},
        {{"--colour=red"}, "unknown option '--colour'"},
        {{"-p", "/dev/x"}, "unknown option '-p'"},
        {{"/dev/ttyS1"}, "unexpected argument '/dev/ttyS1'"},
        {{"--port"}, "option '--port' needs a value"},
        {{"--port="}, "option '--port' needs a value"},
        {{"--player"}, "option '--player' needs a value"},
        // An option where the value belongs is a slip, not a port named "--console".
        {{"--port", "--console"}, "option '--port' needs a value"},
        {{"--help=1"}, "option '--help' takes no value"},
        {{"--no-console=false"}, "option '--no-console' takes no value"},
        {{"--follow=0x1"}, "option '--follow' takes true or false, not '0x1'"},
        {{"--no-minimized", "--minimized", "--console"},
         "options '--minimized' and '--console' exclude each other"},
        {{"--player", "vlc,,mpv"}, "option '--player' has an empty name in 'vlc,,mpv'"},
        {{"--ignore-player", "vlc,"}, "option '--ignore-player' has an empty name in 'vlc,'"},
        {{"--ignore-player"}, "option '--ignore-player' needs a value"},
        {{"--player", "vlc", "--no-player"},
         "options '--player' and '--no-player' exclude each other"},
        {{"--ignore-player", "vlc", "--no-player"},
         "options '--ignore-player' and '--no-player' exclude each other"},
        // --minimized is about the window, which these do without.
        {{"--console", "--minimized"}, "options '--minimized' and '--console' exclude each other"},
        {{"--minimized", "--learn"}, "options '--minimized' and '--learn' exclude each other"},
        {{"--learn", "--print-keys"}, "options '--learn' and '--print-keys' exclude each other"},
        {{"--replace", "--console"}, "option '--replace' goes with --learn"},
        {{"--find-port", "/dev/a", "--port", "/dev/b"},
         "options '--find-port' and '--port' exclude each other"},
        {{"--learn", "--find-port"}, "options '--find-port' and '--learn' exclude each other"},
#ifndef _WIN32
        {{"--input"}, "option '--input' needs a value"},
        {{"--mqtt", "broker.lan"},
         "option '--mqtt': 'broker.lan' is no broker's address: "
         "mqtt://[USER@]HOST[:PORT], or mqtts://... for TLS"},
        {{"--mqtt-publish"},
         "option '--mqtt-publish' needs a broker: --mqtt URL (mqtt = URL in the "
         "settings)"},
        {{"--mqtt=mqtt://h", "--mqtt-ca", "ca.pem"},
         "option '--mqtt-ca' is for a broker over TLS, mqtts://..."},
        {{"--mqtt=mqtt://h", "--mqtt-password-file", "pass"},
         "option '--mqtt-password-file' needs a user in the broker's URL: "
         "mqtt://USER@HOST"},
        {{"--mqtt-discovery"},
         "option '--mqtt-discovery' needs a broker: --mqtt URL (mqtt = URL in the "
         "settings)"},
        {{"--mqtt=mqtt://h", "--mqtt-discovery=ha/#"},
         "option '--mqtt-discovery': 'ha/#' cannot begin topics (levels between /, no + or #, "
         "at most 200 bytes)"},
#endif
        // An error stops parsing: a later --help is not reached.
        {{"--bad", "--help"}, "unknown option '--bad'"},
    };
    for (const auto& [args, problem] : cases) {
        const CommandLine parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.command, CommandLine::Command::UsageError) << Joined(args);
        EXPECT_EQ(parsed.problem, "quorvel: " + problem + " (try --help)\n");
    }
}

TEST(CommandLineHelp, NamesEveryOptionAndTheDefaultPort) {
    const std::string help = ProgramHelp();
    for (const char* word : {"--port DEVICE",
                             "--player NAME",
                             "--ignore-player NAME",
                             "--minimized",
                             "--notify",
#ifndef _WIN32
                             "--lircd[=SOCKET]",
                             "--input DEVICE",
                             "--no-grab",
                             "--mqtt URL",
                             "--mqtt-topic FILTER",
                             "--mqtt-publish",
                             "--mqtt-name NAME",
                             "--mqtt-ca FILE",
                             "--mqtt-password-file FILE",
#endif
                             "--help",
                             "--config FILE",
                             "--follow",
                             "--version",
                             "--replace",
                             "/dev/ttyS0"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
    EXPECT_NE(help.find("--mqtt-discovery[=PREFIX]"), std::string::npos);
    // One line per item, each a terminal's width at most; the default files' lines hold
    // this user's paths, as long as their home folder's name makes them.
    std::size_t start = 0;
    while (start < help.size()) {
        const std::size_t end = help.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = help.substr(start, end - start);
        if (line.find(KeyMapFile::DefaultPath()) == std::string::npos &&
            line.find(Utf8FromPath(DefaultSettingsPath())) == std::string::npos) {
            EXPECT_LE(line.size(), 80u) << line;
        }
        start = end + 1;
    }
}

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

TEST(CommandLineSettings, FillsInWhatTheCommandLineLeftOut) {
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
        const CommandLine parsed = ParseCommandLine(args, named ? scratch.FilePath("x") : file);
        EXPECT_EQ(Outcome(parsed, file), c.outcome);
    }
}

}  // namespace
