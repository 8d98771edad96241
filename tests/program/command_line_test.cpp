#include "program/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "program/key_map_file.h"
#include "program/settings_file.h"
#include "program/utf8_path.h"
#include "tests/doubles/scratch_folder.h"

namespace {

struct RunCase {
    std::vector<std::string> args;
    std::string port;
    std::string player;
};

std::string Joined(const std::vector<std::string>& args) {
    std::string joined;
    for (const std::string& arg : args) {
        joined += (joined.empty() ? "" : " ") + arg;
    }
    return "[" + joined + "]";
}

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << Joined(c.args);
}

class CommandLineRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(CommandLineRuns, TakesPortAndPlayer) {
    const CommandLine parsed = CommandLine::Parse(GetParam().args);
    EXPECT_EQ(parsed.action, CommandLine::Action::Run);
    EXPECT_EQ(parsed.port, GetParam().port);
    EXPECT_EQ(parsed.player, GetParam().player);
    EXPECT_EQ(parsed.out, "");
    EXPECT_EQ(parsed.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineRuns,
    ::testing::Values(RunCase{{}, "/dev/ttyS0", ""},
                      RunCase{{"--port", "/dev/ttyUSB0"}, "/dev/ttyUSB0", ""},
                      RunCase{{"--port=/dev/pts/7"}, "/dev/pts/7", ""},
                      RunCase{{"--port", "/dev/serial/by-id/usb-IR_Receiver-if00-port0"},
                              "/dev/serial/by-id/usb-IR_Receiver-if00-port0",
                              ""},
                      RunCase{{"--player", "vlc", "--port", "/tmp/q-pty"}, "/tmp/q-pty", "vlc"},
                      RunCase{{"--player=mpv"}, "/dev/ttyS0", "mpv"},
                      // The last one given wins, as with most tools.
                      RunCase{{"--port", "/dev/a", "--port", "/dev/b"}, "/dev/b", ""}));

TEST(CommandLineNoPlayer, CommandsNoneAndExcludesANamedOne) {
    EXPECT_TRUE(CommandLine::Parse({}).commandsPlayer);
    EXPECT_FALSE(CommandLine::Parse({"--no-player"}).commandsPlayer);
    EXPECT_EQ(CommandLine::Parse({"--player", "vlc", "--no-player"}).exitStatus,
              CommandLine::UsageError);
}

TEST(CommandLineNotify, IsOffUnlessAsked) {
    EXPECT_FALSE(CommandLine::Parse({}).notify);
    EXPECT_TRUE(CommandLine::Parse({"--notify"}).notify);
    EXPECT_EQ(CommandLine::Parse({"--notify=yes"}).exitStatus, CommandLine::UsageError);
}

TEST(CommandLineMinimized, StartsTheWindowOutOfTheWayOnlyWhenAsked) {
    EXPECT_FALSE(CommandLine::Parse({}).minimized);
    const CommandLine parsed = CommandLine::Parse({"--minimized", "--port", "/dev/ttyUSB0"});
    EXPECT_EQ(parsed.action, CommandLine::Action::Run);
    EXPECT_TRUE(parsed.minimized);
    EXPECT_EQ(parsed.port, "/dev/ttyUSB0");
}

TEST(CommandLineFindPort, TakesTheCandidatesNamedIfAny) {
    struct Case {
        std::vector<std::string> args;
        bool findPort;
        std::vector<std::string> candidates;
        bool portGiven;
    };
    for (const Case& c :
         {Case{{}, false, {}, false}, Case{{"--find-port"}, true, {}, false},
          Case{{"--find-port", "/dev/a", "/dev/b"}, true, {"/dev/a", "/dev/b"}, false},
          Case{{"--learn", "--port", "/dev/a"}, false, {}, true}}) {
        const CommandLine parsed = CommandLine::Parse(c.args);
        EXPECT_EQ(parsed.action, CommandLine::Action::Run) << Joined(c.args) << parsed.err;
        EXPECT_EQ(parsed.findPort, c.findPort) << Joined(c.args);
        EXPECT_EQ(parsed.findPortCandidates, c.candidates) << Joined(c.args);
        EXPECT_EQ(parsed.portGiven, c.portGiven) << Joined(c.args);
    }
}

TEST(CommandLinePlayers, TakesAListInOrderAndNamesToIgnore) {
    const CommandLine parsed = CommandLine::Parse({"--player", "vlc,spotify,*", "--ignore-player",
                                                   "firefox", "--ignore-player=chromium,mpv"});
    EXPECT_EQ(parsed.action, CommandLine::Action::Run);
    EXPECT_EQ(CommandLine::Names(parsed.player), (std::vector<std::string>{"vlc", "spotify", "*"}));
    EXPECT_EQ(parsed.ignoredPlayers, (std::vector<std::string>{"firefox", "chromium,mpv"}));
}

struct ExitCase {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << Joined(c.args);
}

class CommandLineExits : public ::testing::TestWithParam<ExitCase> {};

TEST_P(CommandLineExits, PrintsAndExits) {
    const CommandLine parsed = CommandLine::Parse(GetParam().args);
    EXPECT_EQ(parsed.action, CommandLine::Action::Exit);
    EXPECT_EQ(parsed.exitStatus, GetParam().status);
    EXPECT_EQ(parsed.out, GetParam().out);
    EXPECT_EQ(parsed.err, GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineExits,
    ::testing::Values(
        ExitCase{{"--version"}, 0, "quorvel " QUORVEL_VERSION "\n", ""},
        ExitCase{{"--port", "/dev/x", "--version"}, 0, "quorvel " QUORVEL_VERSION "\n", ""},
        ExitCase{{"--verbose"}, 2, "", "quorvel: unknown option '--verbose' (try --help)\n"},
        ExitCase{{"--colour=red"}, 2, "", "quorvel: unknown option '--colour' (try --help)\n"},
        ExitCase{{"-p", "/dev/x"}, 2, "", "quorvel: unknown option '-p' (try --help)\n"},
        ExitCase{{"/dev/ttyS1"}, 2, "", "quorvel: unexpected argument '/dev/ttyS1' (try --help)\n"},
        ExitCase{{"--port"}, 2, "", "quorvel: option '--port' needs a value (try --help)\n"},
        ExitCase{{"--port="}, 2, "", "quorvel: option '--port' needs a value (try --help)\n"},
        ExitCase{{"--player"}, 2, "", "quorvel: option '--player' needs a value (try --help)\n"},
        // An option where the value belongs is a slip, not a port named "--console".
        ExitCase{{"--port", "--console"},
                 2,
                 "",
                 "quorvel: option '--port' needs a value (try --help)\n"},
        ExitCase{
            {"--console=1"}, 2, "", "quorvel: option '--console' takes no value (try --help)\n"},
        ExitCase{{"--player", "vlc,,mpv"},
                 2,
                 "",
                 "quorvel: option '--player' has an empty name in 'vlc,,mpv' (try --help)\n"},
        ExitCase{{"--ignore-player", "vlc,"},
                 2,
                 "",
                 "quorvel: option '--ignore-player' has an empty name in 'vlc,' (try --help)\n"},
        ExitCase{{"--ignore-player"},
                 2,
                 "",
                 "quorvel: option '--ignore-player' needs a value (try --help)\n"},
        ExitCase{{"--ignore-player", "vlc", "--no-player"},
                 2,
                 "",
                 "quorvel: options '--ignore-player' and '--no-player' exclude each other (try "
                 "--help)\n"},
        // --minimized is about the window, which these do without.
        ExitCase{{"--console", "--minimized"},
                 2,
                 "",
                 "quorvel: options '--minimized' and '--console' exclude each other (try "
                 "--help)\n"},
        ExitCase{{"--minimized", "--learn"},
                 2,
                 "",
                 "quorvel: options '--minimized' and '--learn' exclude each other (try --help)\n"},
        ExitCase{{"--minimized=1"},
                 2,
                 "",
                 "quorvel: option '--minimized' takes no value (try --help)\n"},
        ExitCase{{"--learn", "--print-keys"},
                 2,
                 "",
                 "quorvel: options '--learn' and '--print-keys' exclude each other (try --help)\n"},
        ExitCase{{"--find-port", "/dev/a", "--port", "/dev/b"},
                 2,
                 "",
                 "quorvel: options '--find-port' and '--port' exclude each other (try --help)\n"},
        ExitCase{{"--learn", "--find-port"},
                 2,
                 "",
                 "quorvel: options '--find-port' and '--learn' exclude each other (try --help)\n"},
        // An error stops parsing: a later --help is not reached.
        ExitCase{{"--bad", "--help"}, 2, "", "quorvel: unknown option '--bad' (try --help)\n"}));

// With --keys, --print-keys prints that map as it is read, hold options and all.
TEST(CommandLinePrintKeys, PrintsAGivenMapAsItIsRead) {
    ScratchFolder folder;
    const std::string path = folder.FilePath("keys.conf");
    std::ofstream(path) << "held 0xB0 volume-up every=2 delay=300  # slow\n"
                           "key 0xA1,0x21 play-pause\n";
    CommandLine parsed = CommandLine::Parse({"--print-keys", "--keys", path});
    EXPECT_EQ(parsed.action, CommandLine::Action::Exit);
    EXPECT_EQ(parsed.exitStatus, 0);
    EXPECT_EQ(parsed.out, KeyMapFile::Header() +
                              "key  33,161 play-pause\nheld 176 volume-up delay=300 every=2\n");

    std::ofstream(path) << "held 0xB0 volume-up once every=2\n";
    parsed = CommandLine::Parse({"--print-keys", "--keys", path});
    EXPECT_EQ(parsed.exitStatus, CommandLine::UsageError);
    EXPECT_EQ(parsed.out, "");
    EXPECT_EQ(parsed.err, "quorvel: " + path +
                              ":1: \"once\" acts once a hold, so it takes no every= or accel\n");
}

TEST(CommandLineHelp, NamesEveryOptionAndTheDefaultPort) {
    const std::string help = CommandLine::HelpText();
    for (const char* word :
         {"--port DEVICE", "--player NAME", "--ignore-player NAME", "--minimized", "--notify",
          "--help", "--config FILE", "--follow", "--version", "/dev/ttyS0"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
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

}  // namespace
