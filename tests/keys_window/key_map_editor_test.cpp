#include "keys_window/key_map_editor.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "keys_window/window_state.h"
#include "learning/key_recorder.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"

namespace {

KeyMap::Line Press(int code, PlayerRequest request) {
    KeyMap::Line line;
    line.keys = {Key::Code(code)};
    line.binding = std::move(request);
    return line;
}

// Opened read-only, with the reader's words, whatever keeps a map from being taken.
TEST(KeyMapEditor, AMapThatIsNotTakenOpensReadOnlyWithWhy) {
    const ScratchFolder folder;
    const std::filesystem::path path = folder / "keys.conf";
    const struct {
        const char* text;
        mode_t mode;
        std::string why;
    } cases[] = {
        {"key 42 stop\n", 0600, ""},
        {"key 42 stpo\n", 0600,
         path.string() + ":1: unknown action \"stpo\" (did you mean \"stop\"?)"},
        {"key 42 run true\n", 0620,
         path.string() + ": refused, since it runs commands and " + path.string() +
             " can be written by others (chmod go-w " + path.string() + ")"},
        {"key 42 stop\n\xE9\n", 0600,
         path.string() + ":2: not UTF-8 text (byte 0xE9): save it as UTF-8 or UTF-16"},
    };
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
        ::chmod(path.c_str(), c.mode);
        KeyMapEditor editor(path);
        EXPECT_EQ(editor.ReadOnlyWhy(), c.why) << c.text;
        std::string why;
        EXPECT_EQ(editor.Save({true, true}, why),
                  c.why.empty() ? KeyMapEditor::Saved::Unchanged : KeyMapEditor::Saved::Refused);
        EXPECT_EQ(FileText(path), c.text);
    }
}

// Without a map the built-in one is the start, and a first save keeps it; a byte order
// mark stays; a run line is refused where it would not be trusted, before anything is
// written.
TEST(KeyMapEditor, SavesTheTextWithTheEditAndNothingElse) {
    const ScratchFolder scratch;
    const ScopedVariable config("XDG_CONFIG_HOME", scratch.Path());
    KeyMapEditor fresh({});
    std::string why;
    EXPECT_EQ(fresh.Save({}, why), KeyMapEditor::Saved::Unchanged);
    EXPECT_FALSE(std::filesystem::exists(KeyMapFile::DefaultPath()));
    ASSERT_EQ(fresh.Document().Add(Press(42, PlayerRequest(PlayerAction::Stop))), "");
    EXPECT_EQ(fresh.Save({}, why), KeyMapEditor::Saved::Written) << why;
    EXPECT_EQ(FileText(KeyMapFile::DefaultPath()),
              KeyMapFile::Header() + KeyMap::Standard().Format() + "key  42 stop\n");

    const std::filesystem::path path = scratch / "bom.conf";
    std::ofstream(path) << "\xEF\xBB\xBFkey 1 next\n";
    ::chmod(scratch.Path().c_str(), 0777);
    KeyMapEditor editor(path);
    ASSERT_EQ(editor.Document().Change(0, Press(1, PlayerRequest(PlayerAction::Run, 0, "true"))),
              "");
    EXPECT_EQ(editor.Save({}, why), KeyMapEditor::Saved::Refused);
    EXPECT_EQ(why, path.string() + ": refused, since it runs commands and its folder " +
                       scratch.Path() + " can be written by others (chmod go-w " + scratch.Path() +
                       ")");
    ::chmod(scratch.Path().c_str(), 0700);
    EXPECT_EQ(editor.Save({}, why), KeyMapEditor::Saved::Written) << why;
    EXPECT_EQ(FileText(path), "\xEF\xBB\xBFkey  1 run true\n");
    EXPECT_FALSE(editor.Document().Modified());
}

// What is on disk when the map is saved: the same file, or one the user must agree to
// write over, or one that cannot be read now, which is refused with the reader's words.
TEST(KeyMapEditor, SaysWhatIsOnDiskBeforeWritingOverIt) {
    const ScratchFolder scratch;
    const std::filesystem::path path = scratch / "keys.conf";
    const struct {
        const char* name;
        std::function<void()> meanwhile;
        KeyMapEditor::Saved saved;
        std::string why;  // after Written, the backup
    } cases[] = {
        {"the same", [] {}, KeyMapEditor::Saved::Written, path.string() + ".bak"},
        {"changed", [&] { WriteFile(path, "key 1 stop\n"); }, KeyMapEditor::Saved::ChangedOnDisk,
         ""},
        {"removed", [&] { std::filesystem::remove(path); }, KeyMapEditor::Saved::Removed, ""},
        {"read-only", [&] { ::chmod(path.c_str(), 0444); }, KeyMapEditor::Saved::ReadOnly, ""},
        {"a folder now",
         [&] {
             std::filesystem::remove(path);
             std::filesystem::create_directory(path);
         },
         KeyMapEditor::Saved::Refused, path.string() + ": not a file"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(path);
        WriteFile(path, "key 1 next\n");
        KeyMapEditor editor(path);
        ASSERT_EQ(editor.Document().Change(0, Press(1, PlayerRequest(PlayerAction::Play))), "");
        c.meanwhile();
        std::string why;
        EXPECT_EQ(editor.Save({}, why), c.saved) << c.name;
        EXPECT_EQ(why, c.why) << c.name;
    }
}

TEST(KeyRecorder, AsksTwiceAsLearnDoes) {
    const Key a = Key::Code(0x21);
    const Key b = Key::Code(0xA1);
    const struct {
        std::vector<Key> pressed;
        int answer;  // -1 none, else bind both
        bool cancel;
        KeyRecorder::Step step;
        std::vector<Key> keys;
    } cases[] = {
        {{a, a}, -1, false, KeyRecorder::Step::Done, {a}},
        {{a, b}, 1, false, KeyRecorder::Step::Done, {a, b}},
        {{a, b}, 0, false, KeyRecorder::Step::Done, {a}},
        {{a}, -1, true, KeyRecorder::Step::Done, {a}},
        {{}, -1, true, KeyRecorder::Step::Off, {}},
    };
    for (const auto& c : cases) {
        KeyRecorder recorder;
        recorder.Start();
        for (const Key& key : c.pressed) {
            ASSERT_TRUE(recorder.Listening());
            recorder.Took(key);
        }
        if (c.answer >= 0) {
            EXPECT_EQ(recorder.Current(), KeyRecorder::Step::Both);
            recorder.Answer(c.answer == 1);
        }
        if (c.cancel) {
            recorder.Cancel();
        }
        EXPECT_EQ(recorder.Current(), c.step);
        EXPECT_EQ(recorder.Keys(), c.keys);
    }
}

TEST(WindowState, KeepsTheKeysWindowsSize) {
    const ScratchFolder folder;
    const std::filesystem::path file = folder / "state.conf";
    EXPECT_FALSE(ReadKeysWindowSize(file));
    std::string problem;
    ASSERT_TRUE(SaveKeysWindowSize(file, {700, 480}, problem)) << problem;
    ASSERT_TRUE(SaveKeysWindowSize(file, {720, 500}, problem)) << problem;
    const auto size = ReadKeysWindowSize(file);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 720);
    EXPECT_EQ(size->height, 500);
    EXPECT_EQ(FileText(file), "keys-window-size = 720x500\n");
    // What a window remembers is worth no backup.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

// A window opens at the size kept, at least its least, and never beyond the work area,
// which wins over its least.
TEST(WindowState, AWindowFitsTheWorkArea) {
    const struct {
        WindowSize wanted, least, area, fitted;
    } cases[] = {
        {{780, 640}, {560, 480}, {1920, 1040}, {780, 640}},
        {{100000, 100000}, {560, 480}, {1920, 1040}, {1920, 1040}},
        {{100, 100}, {560, 480}, {1920, 1040}, {560, 480}},
        {{1560, 1280}, {1120, 960}, {1024, 728}, {1024, 728}},
    };
    for (const auto& c : cases) {
        const WindowSize fitted = FitWindowSize(c.wanted, c.least, c.area);
        EXPECT_EQ(std::pair(fitted.width, fitted.height),
                  std::pair(c.fitted.width, c.fitted.height));
    }
}

}  // namespace
