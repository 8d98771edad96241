#include "program/key_map_reloader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "program/key_map_file.h"
#include "serial/event_protocol.h"
#include "tests/doubles/eventually.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/scratch_folder.h"

namespace {

// What a press of code does under the map in force: its line.
std::string Shows(const KeyMapReloader& reloader, int code) {
    return reloader.Keys()->Current()->Decode({KeyAction::Press, Key::Code(code)}).text;
}

// Polls until a press of code shows text, or the deadline passes.
bool EventuallyShows(const KeyMapReloader& reloader, int code, const std::string& text) {
    return Eventually([&] { return Shows(reloader, code) == text; });
}

class KeyMapReload : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        Write(path_, "key 0x60 stop\n");
        KeyMapFile::Loaded loaded = KeyMapFile::Load(path_);
        ASSERT_TRUE(loaded.problems.empty());
        reloader_.emplace(path_, std::move(loaded.keys));
        ASSERT_EQ(Shows(*reloader_, 0x60), "STOP!");
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::trunc) << text;
    }

    ScratchFolder folder_;
    const std::string path_ = folder_.FilePath("keys.conf");
    std::optional<KeyMapReloader> reloader_;
};

TEST_F(KeyMapReload, AGoodMapAppliesAtOnce) {
    Write(path_, "key 0x60 next\nkey 0x21,0xA1 pause\n");
    LogCapture log;
    EXPECT_TRUE(reloader_->Reload());
    EXPECT_EQ(Shows(*reloader_, 0x60), "NEXT!");
    EXPECT_EQ(Shows(*reloader_, 0xA1), "PAUSE!");
    EXPECT_EQ(log.Count("read again, it applies from the next key"), 1);
}

TEST_F(KeyMapReload, AMapWithProblemsKeepsTheOldOneAndSaysWhyByLine) {
    Write(path_, "key 0x60 next\n\nkey 0x61 stpo\n");
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

TEST_F(KeyMapReload, ASaveInPlaceIsSeen) {
    LogCapture log;
    const auto watch = reloader_->WatchFile();
    ASSERT_EQ(watch->Problem(), "");
    Write(path_, "key 0x60 next\n");
    EXPECT_TRUE(EventuallyShows(*reloader_, 0x60, "NEXT!"));
}

// As editors save: a new file written beside the map, then renamed over it.
TEST_F(KeyMapReload, AnEditorsRenameReplaceIsSeenAndABrokenOneIsNot) {
    LogCapture log;
    const auto watch = reloader_->WatchFile();
    ASSERT_EQ(watch->Problem(), "");
    const std::string scratch = folder_.FilePath(".keys.conf.swp");
    Write(scratch, "key 0x60 play\n");
    ASSERT_EQ(std::rename(scratch.c_str(), path_.c_str()), 0);
    EXPECT_TRUE(EventuallyShows(*reloader_, 0x60, "PLAY!"));

    // Other files in the folder are not the map.
    Write(folder_.FilePath("other.conf"), "key 0x60 next\n");
    Write(scratch, "key 0x60 frobnicate\n");
    ASSERT_EQ(std::rename(scratch.c_str(), path_.c_str()), 0);
    Eventually([&] { return log.Count("unknown action \"frobnicate\"") > 0; });
    EXPECT_EQ(log.Count("unknown action \"frobnicate\""), 1);
    EXPECT_EQ(Shows(*reloader_, 0x60), "PLAY!");
}

// A fresh install: the map's folder is made only when the map is first saved (--learn).
TEST(KeyMapReloadWatch, AMapSavedIntoAFolderMadeLaterApplies) {
    ScratchFolder folder;
    KeyMapReloader reloader(folder.FilePath("quorvel/keys.conf"), KeyMap::Standard());
    LogCapture log;
    const auto watch = reloader.WatchFile();
    EXPECT_EQ(watch->Problem(), "");
    std::filesystem::create_directory(folder / "quorvel");
    std::ofstream(folder / "quorvel/keys.conf") << "key 0x60 next\n";
    EXPECT_TRUE(EventuallyShows(reloader, 0x60, "NEXT!"));
}

}  // namespace
