#include "program/program_skeleton.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "keymap/key_map_file.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"

namespace {

// Keeps what the program said, and what it asked of the platform.
class RecordingPlatform : public ProgramPlatform {
  public:
    StartOutput Output() override {
        return {[this](const std::string& text) { out += text; },
                [this](const std::string& text) { err += text; }};
    }
    std::optional<int> Starting(const CommandLine&, bool text) override {
        chosen.push_back(text);
        return stopAtStart;
    }
    void StartEnded(int status) override { ended.push_back(status); }
    IRThread::PlayerFactory Player(const CommandLine&) override { return {}; }
    std::optional<int> PrepareWindow() override { return noWindow; }
    int RunWindow(const CommandLine&, const IRThread::PlayerFactory&, KeyMapReloader&) override {
        throw std::runtime_error("no window here");
    }
    void Escaped(const std::optional<std::string>& message, bool window) override {
        escaped += message.value_or("?") + (window ? " (window)" : "");
    }

    std::optional<int> noWindow;
    std::optional<int> stopAtStart;
    std::vector<bool> chosen;  // Starting's text, each time
    std::string out;
    std::string err;
    std::vector<int> ended;
    std::string escaped;
};

class ProgramSkeleton : public ::testing::Test {
  protected:
    // No settings file or key map of the user's.
    ScratchFolder folder_;
    ScopedVariable config_{"XDG_CONFIG_HOME", folder_.Path()};
    RecordingPlatform platform_;
};

TEST_F(ProgramSkeleton, ACommandSaysItsPieceAndEnds) {
    EXPECT_EQ(RunProgram({"--version"}, platform_), 0);
    EXPECT_EQ(platform_.out, "quorvel " QUORVEL_VERSION "\n");
    EXPECT_EQ(RunProgram({"--frobnicate"}, platform_), 2);
    EXPECT_EQ(platform_.err, "quorvel: unknown option '--frobnicate' (try --help)\n");
    EXPECT_EQ(platform_.ended, (std::vector<int>{0, 2}));
    EXPECT_EQ(platform_.escaped, "");
}

// With --keys, --print-keys prints that map as it is read, hold options and all, and its
// notes or its mistakes.
TEST_F(ProgramSkeleton, PrintsAGivenMapAsItIsRead) {
    const std::string path = folder_.FilePath("keys.conf");
    std::ofstream(path) << "held 0xB0 volume-up every=2 delay=300  # slow\n"
                           "key 0xA1,0x21 play-pause\n";
    EXPECT_EQ(RunProgram({"--print-keys", "--keys", path}, platform_), 0);
    EXPECT_EQ(platform_.out, KeyMapFile::Header() +
                                 "key  33,161 play-pause\nheld 176 volume-up delay=300 every=2\n");
    // A held key without a key line is no mistake: a note.
    EXPECT_EQ(platform_.err, "quorvel: " + path +
                                 ":1: note: 0xB0 has a held binding and no key binding: a single "
                                 "press does nothing\n");
    platform_.err.clear();

    std::ofstream(path) << "held 0xB0 volume-up once every=2\n";
    platform_.out.clear();
    EXPECT_EQ(RunProgram({"--print-keys", "--keys", path}, platform_), 2);
    EXPECT_EQ(platform_.out, "");
    EXPECT_EQ(platform_.err, "quorvel: " + path +
                                 ":1: \"once\" acts once a hold, so it takes no every= or accel\n");
}

TEST_F(ProgramSkeleton, TheWindowsEndIsSaidOverIt) {
    const std::vector<std::string> args = {"--port", folder_.FilePath("absent")};
    platform_.noWindow = 1;
    EXPECT_EQ(RunProgram(args, platform_), 1);
    EXPECT_EQ(platform_.escaped, "");
    platform_.noWindow.reset();
    EXPECT_EQ(RunProgram(args, platform_), 1);
    EXPECT_EQ(platform_.escaped, "no window here (window)");
    EXPECT_TRUE(platform_.ended.empty());
}

// What is said on the way out must not wait on a window when the user chose text.
TEST_F(ProgramSkeleton, TextIsChosenByTheConsoleOrACommandOfTheTerminal) {
    platform_.stopAtStart = 7;
    const struct Case {
        std::vector<std::string> args;
        bool text;
    } cases[] = {
        {{"--console", "--port", "C:\\windows\\win.ini"}, true},
        {{"--console", "--frobnicate"}, true},
        {{"--print-keys", "--console"}, true},
        {{"--learn"}, true},
        {{"--find-port"}, true},
        {{"--frobnicate"}, false},
        {{"--version"}, false},
        {{"--port", "COM3"}, false},
    };
    for (const Case& c : cases) {
        platform_.chosen.clear();
        EXPECT_EQ(RunProgram(c.args, platform_), 7) << c.args[0];
        EXPECT_EQ(platform_.chosen, std::vector<bool>{c.text}) << c.args[0];
    }
    EXPECT_TRUE(platform_.ended.empty());
}

}  // namespace
