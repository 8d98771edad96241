#include "program/key_map_reloader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "keymap/key_map_file.h"
#include "serial/event_protocol.h"
#include "tests/doubles/files.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/loop_turns.h"
#include "tests/doubles/scratch_folder.h"

namespace {

// What a press of code does under the map in force: its line.
std::string Shows(const KeyMapReloader& reloader, int code) {
    return reloader.Keys()->Current()->Decode({KeyAction::Press, Key::Code(code)}).text;
}

class KeyMapReload : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        WriteFile(path_, "key 0x60 stop\n");
        KeyMapFile::Loaded loaded = KeyMapFile::Load(path_);
        ASSERT_TRUE(loaded.problems.empty());
        reloader_.emplace(path_, std::move(loaded.keys));
        ASSERT_EQ(Shows(*reloader_, 0x60), "STOP!");
    }

    ScratchFolder folder_;
    const std::string path_ = folder_.FilePath("keys.conf");
    std::optional<KeyMapReloader> reloader_;
};

TEST_F(KeyMapReload, AGoodMapAppliesAtOnce) {
    WriteFile(path_, "key 0x60 next\nkey 0x21,0xA1 pause\n");
    LogCapture log;
    EXPECT_TRUE(reloader_->Reload());
    EXPECT_EQ(Shows(*reloader_, 0x60), "NEXT!");
    EXPECT_EQ(Shows(*reloader_, 0xA1), "PAUSE!");
    EXPECT_EQ(log.Count("read again, it applies from the next key"), 1);
}

TEST_F(KeyMapReload, AMapWithProblemsKeepsTheOldOneAndSaysWhyByLine) {
    WriteFile(path_, "key 0x60 next\n\nkey 0x61 stpo\n");
    LogCapture log;
    EXPECT_FALSE(reloader_->Reload());
    EXPECT_EQ(Shows(*reloader_, 0x60), "STOP!");
    EXPECT_EQ(log.Messages("quorvel.app"),
              std::vector<std::string>{"key map not reloaded, the old one stays: " + path_ +
                                       ":3: unknown action \"stpo\" (did you mean \"stop\"?)"});
}

TEST_F(KeyMapReload, AMissingFileNamedOnTheCommandLineKeepsTheOldOne) {
    std::remove(path_.c_str());
    LogCapture log;
    EXPECT_FALSE(reloader_->Reload());
    EXPECT_EQ(Shows(*reloader_, 0x60), "STOP!");
    EXPECT_EQ(log.Count("cannot read it"), 1);
}

// The reloader watches its map: a save, as editors make it (a new file written beside the
// map, then renamed over it), applies, and a broken one does not. (How a save is seen, in
// place, through a link or into a folder made later, is the file watch's table.)
TEST_F(KeyMapReload, AnEditorsRenameReplaceIsSeenAndABrokenOneIsNot) {
    LogCapture log;
    const auto loop = MakeEventLoop();
    const auto watch = reloader_->WatchFile(*loop);
    ASSERT_EQ(watch->Problem(), "");
    const std::string scratch = folder_.FilePath(".keys.conf.swp");
    WriteFile(scratch, "key 0x60 play\n");
    ASSERT_EQ(std::rename(scratch.c_str(), path_.c_str()), 0);
    EXPECT_TRUE(TurnUntil(*loop, [&] { return Shows(*reloader_, 0x60) == "PLAY!"; }));

    // Other files in the folder are not the map.
    WriteFile(folder_.FilePath("other.conf"), "key 0x60 next\n");
    WriteFile(scratch, "key 0x60 frobnicate\n");
    ASSERT_EQ(std::rename(scratch.c_str(), path_.c_str()), 0);
    TurnUntil(*loop, [&] { return log.Count("unknown action \"frobnicate\"") > 0; });
    EXPECT_EQ(log.Count("unknown action \"frobnicate\""), 1);
    EXPECT_EQ(Shows(*reloader_, 0x60), "PLAY!");
}

}  // namespace
