#include "keys_window/keys_presenter.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>

#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/keys_window/fake_keys_view.h"

namespace {

namespace fs = std::filesystem;
using Answer = KeysView::Answer;

const std::string Mine =
    "# mine\r\nkey 0x60 play-pause   # ok\r\n\r\n[player=vlc]\r\nkey 0x18 next\r\n";

// The presenter on a fake window, started as a window starts it.
struct Window {
    explicit Window(KeysWindowSetup setup) : presenter(view, std::move(setup)) {
        view.presenter = &presenter;
        presenter.Start();
    }
    FakeKeysView view;
    KeysPresenter presenter;
};

class KeysPresenterTest : public testing::Test {
  protected:
    KeysPresenterTest() { WriteFile(path_, Mine); }
    KeysWindowSetup WindowSetup() {
        return {path_, &capture_, [this] { return ++reloads_ > 0; }, folder_ / "state.conf"};
    }
    // The fields as a user fills them for a key press.
    static void Type(FakeKeysView& view, const std::string& keys, PlayerAction action) {
        view.fields.keys = keys;
        view.fields.action = static_cast<int>(action);
    }

    ScratchFolder folder_;
    fs::path path_ = folder_ / "keys.conf";
    KeyCapture capture_;
    int reloads_ = 0;
};

// A row chosen shows its keys as the file spells them, and a change keeps that spelling;
// saved, the file is the same but for that line, the window closes and the map is in force.
TEST_F(KeysPresenterTest, ChangeKeepsTheFilesSpellingAndSaveWritesOnlyThat) {
    Window window(WindowSetup());
    ASSERT_GE(window.view.Choose("0x60"), 0);
    window.presenter.RowChosen();
    EXPECT_EQ(window.view.fields.keys, "0x60");
    window.view.fields.action = static_cast<int>(PlayerAction::Mute);
    window.presenter.Change();
    EXPECT_EQ(window.view.whyNot, "");
    window.presenter.Save();
    EXPECT_EQ(window.view.asked, std::vector<std::string>{});
    EXPECT_EQ(window.view.closes, 1);
    EXPECT_EQ(reloads_, 1);
    EXPECT_EQ(FileText(path_),
              "# mine\r\nkey  0x60 mute  # ok\r\n\r\n[player=vlc]\r\nkey 0x18 next\r\n");
}

// Esc (or Cancel, or the close box) asks before changes are lost, whether edits or a
// binding typed in the fields; a row only looked at loses nothing. The file stays.
TEST_F(KeysPresenterTest, ClosingAsksBeforeChangesAreLost) {
    const struct {
        const char* name;
        std::function<void(Window&)> act;
        bool asks;
    } cases[] = {
        {"nothing", [](Window&) {}, false},
        {"a row chosen",
         [](Window& w) {
             w.view.Choose("0x18");
             w.presenter.RowChosen();
         },
         false},
        {"an edit",
         [](Window& w) {
             w.view.Choose("0x18");
             w.presenter.Remove();
         },
         true},
        {"fields typed", [](Window& w) { Type(w.view, "KEY_RED", PlayerAction::Stop); }, true},
    };
    for (const auto& c : cases) {
        for (const Answer answer : {Answer::No, Answer::Yes}) {
            Window window(WindowSetup());
            c.act(window);
            window.view.answers = {answer};
            window.presenter.Escape();
            EXPECT_EQ(window.view.asked.size(), c.asks ? 1u : 0u) << c.name;
            EXPECT_EQ(window.view.closes, !c.asks || answer == Answer::Yes ? 1 : 0) << c.name;
            EXPECT_EQ(FileText(path_), Mine) << c.name;
        }
    }
}

// Save with a binding in the fields that no edit added asks to add it first: yes adds and
// saves, no saves what there is, cancel does neither.
TEST_F(KeysPresenterTest, SaveOffersToAddWhatTheFieldsHold) {
    const std::string added =
        "# mine\r\nkey 0x60 play-pause   # ok\r\nkey  KEY_RED stop\r\n\r\n[player=vlc]\r\n"
        "key 0x18 next\r\n";
    const struct {
        Answer answer;
        int closes;
        std::string text;
    } cases[] = {{Answer::Yes, 1, added}, {Answer::No, 1, Mine}, {Answer::Cancel, 0, Mine}};
    for (const auto& [answer, closes, text] : cases) {
        WriteFile(path_, Mine);
        Window window(WindowSetup());
        Type(window.view, "KEY_RED", PlayerAction::Stop);
        window.view.answers = {answer};
        window.presenter.Save();
        EXPECT_EQ(window.view.asked,
                  std::vector<std::string>{"The fields hold a binding that was never added: "
                                           "\"key  KEY_RED stop\". Add it to the map before "
                                           "saving?"});
        EXPECT_EQ(window.view.closes, closes);
        EXPECT_EQ(FileText(path_), text);
    }
}

// A file changed, removed (with its folder) or made read-only since the window read it is
// written over only when the user says so, each question true to what is there. (What the
// backup holds, and the read-only mark kept, are the file replacement's.)
TEST_F(KeysPresenterTest, SaveAsksBeforeWritingOverWhatIsOnDiskNow) {
    const fs::path folder = folder_ / "sub";
    const fs::path keys = folder / "keys.conf";
    const struct {
        const char* name;
        std::function<void()> meanwhile;
        std::string question;
    } cases[] = {
        {"changed", [&] { WriteFile(keys, "key 1 next\n"); },
         keys.string() +
             " was changed since this window read it (in an editor, or by another Quorvel). "
             "Write this window's map over it? What is there now is kept as a backup."},
        {"removed", [&] { fs::remove_all(folder); },
         keys.string() +
             " was removed since this window read it, or its folder was. Write this window's "
             "map there?"},
        {"read-only", [&] { ::chmod(keys.c_str(), 0444); },
         keys.string() +
             " is read-only. Write this window's map over it all the same? It stays read-only, "
             "and what is there now is kept as a backup."},
    };
    for (const auto& c : cases) {
        fs::create_directories(folder);
        WriteFile(keys, Mine);
        Window window({keys, nullptr, {}, {}});
        Type(window.view, "KEY_RED", PlayerAction::Stop);
        window.presenter.Add();
        c.meanwhile();
        const std::string there = FileText(keys);
        window.presenter.Save();
        EXPECT_EQ(window.view.asked, std::vector<std::string>{c.question}) << c.name;
        EXPECT_EQ(window.view.closes, 0) << c.name;
        EXPECT_EQ(FileText(keys), there) << c.name;

        window.view.answers = {Answer::Yes};
        window.presenter.Save();
        EXPECT_EQ(window.view.closes, 1) << c.name;
        EXPECT_NE(FileText(keys).find("key  KEY_RED stop"), std::string::npos) << c.name;
        fs::remove_all(folder);
    }
}

// A map that cannot be read now is not taken for one changed: the reader's words say why.
TEST_F(KeysPresenterTest, AMapThatCannotBeReadNowIsRefusedWithWhy) {
    Window window(WindowSetup());
    Type(window.view, "KEY_RED", PlayerAction::Stop);
    window.presenter.Add();
    fs::remove(path_);
    fs::create_directory(path_);
    window.presenter.Save();
    EXPECT_EQ(window.view.asked, std::vector<std::string>{});
    EXPECT_EQ(window.view.warnings,
              std::vector<std::string>{"Not saved: " + path_.string() + ": not a file"});
    EXPECT_EQ(window.view.closes, 0);
}

// Learn… arms the capture with the window's handler; two codes of one key are offered to
// be bound together, and the key field says what was learnt.
TEST_F(KeysPresenterTest, LearnsAKeyThroughTheCapture) {
    Window window(WindowSetup());
    EXPECT_TRUE(window.view.learning);
    window.presenter.Learn();
    for (const int code : {0x21, 0xA1}) {
        ASSERT_TRUE(capture_.Armed());
        EXPECT_TRUE(capture_.Take(KeyEvent{KeyAction::Press, Key::Code(code)}));
        window.view.answers = {Answer::Yes};
        window.presenter.TakeLearnt();
    }
    EXPECT_EQ(window.view.learnt, 2);
    EXPECT_EQ(window.view.asked.size(), 1u);
    EXPECT_FALSE(capture_.Armed());
    EXPECT_EQ(window.view.fields.keys, "33,161");

    // Esc while learning ends learning, and the window stays.
    window.presenter.Learn();
    window.presenter.Escape();
    EXPECT_FALSE(capture_.Armed());
    EXPECT_EQ(window.view.closes, 0);
}

// The table: a heading for the defaults and for each section, then the built-in keys the
// file leaves out; the search finds rows and keeps the one selected.
TEST_F(KeysPresenterTest, TheTableGroupsRowsAsTheFileDoes) {
    Window window(WindowSetup());
    std::vector<std::string> headings;
    for (const KeysView::TableLine& line : window.view.table) {
        if (line.row < 0) {
            headings.push_back(line.texts[KeysView::KeyColumn]);
        }
    }
    EXPECT_EQ(headings, (std::vector<std::string>{"Defaults", "[player=vlc]", "Built in"}));
    EXPECT_EQ(window.view.table[1].texts,
              (std::array<std::string, KeysView::Columns>{"0x60", "key", "play-pause", "",
                                                          "same as built in"}));
    EXPECT_EQ(window.view.sections, (std::vector<std::string>{"Defaults", "[player=vlc]"}));

    const int chosen = window.view.Choose("0x18");
    window.view.search = "NEXT";
    window.presenter.SearchChanged();
    EXPECT_EQ(window.view.selected, chosen);
    for (const KeysView::TableLine& line : window.view.table) {
        EXPECT_TRUE(line.row < 0 || line.texts[KeysView::ActionColumn] == "next");
    }
}

// The fields the gesture and the action need are shown; a long press starts at its
// default delay.
TEST_F(KeysPresenterTest, ShowsTheFieldsTheGestureAndActionNeed) {
    Window window(WindowSetup());
    const struct {
        KeyMap::Kind gesture;
        PlayerAction action;
        KeysView::Needed needed;  // seconds, command, mode, delay, gap, hold
    } cases[] = {
        {KeyMap::Kind::Press, PlayerAction::SeekForward, {true, false, false, false, false, false}},
        {KeyMap::Kind::Held, PlayerAction::Run, {false, true, false, true, false, true}},
        {KeyMap::Kind::Double, PlayerAction::Mode, {false, false, true, false, true, false}},
        {KeyMap::Kind::Long, PlayerAction::Stop, {false, false, false, true, false, false}},
    };
    for (const auto& c : cases) {
        window.view.fields.gesture = c.gesture;
        window.view.fields.action = static_cast<int>(c.action);
        window.presenter.GestureChosen();
        const KeysView::Needed& shown = window.view.needed;
        EXPECT_EQ(std::tuple(shown.seconds, shown.command, shown.mode, shown.delay, shown.gap,
                             shown.hold),
                  std::tuple(c.needed.seconds, c.needed.command, c.needed.mode, c.needed.delay,
                             c.needed.gap, c.needed.hold));
    }
    EXPECT_EQ(window.view.fields.delayMs, KeyMap::DefaultLongDelayMs);
}

// A map the reader refuses opens read only, with why, and nothing can be learnt or saved.
TEST_F(KeysPresenterTest, AMapWithMistakesOpensReadOnly) {
    WriteFile(path_, "key 42 stpo\n");
    Window window(WindowSetup());
    EXPECT_EQ(window.view.readOnly, "Read only: " + path_.string() +
                                        ":1: unknown action \"stpo\" (did you mean \"stop\"?)");
    EXPECT_FALSE(window.view.learning);
    EXPECT_EQ(window.view.mistakes, "");
}

}  // namespace
