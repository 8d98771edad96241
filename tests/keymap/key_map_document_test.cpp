#include "keymap/key_map_document.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string Base =
    "# my keys\n"
    "key 42 stop   # the red one\n"
    "held 0xB0 volume-up every=2\n"
    "\n"
    "[player=vlc]\n"
    "key 0x60 next\n"
    "# end\n";

KeyMap::Line Binding(KeyMap::Kind kind, std::vector<Key> keys, KeyMap::Binding binding,
                     KeySection section = {}) {
    KeyMap::Line line;
    line.section = std::move(section);
    line.kind = kind;
    line.keys = std::move(keys);
    line.binding = std::move(binding);
    if (kind == KeyMap::Kind::Long) {
        line.hold.delayMs = KeyMap::DefaultLongDelayMs;
    }
    return line;
}

KeyMap::Line Press(int code, PlayerAction action, KeySection section = {}) {
    return Binding(KeyMap::Kind::Press, {Key::Code(code)}, PlayerRequest(action), section);
}

struct EditCase {
    const char* name;
    std::string text;
    std::function<std::string(KeyMapDocument&)> edit;  // its why, empty when made
    std::string expected;                              // the text after it
};

void PrintTo(const EditCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyMapDocumentEdit : public testing::TestWithParam<EditCase> {};

// Read, change one thing, write: the text is the same but for the lines changed.
TEST_P(KeyMapDocumentEdit, RewritesOnlyWhatChanged) {
    const EditCase& c = GetParam();
    KeyMapDocument document(c.text, "keys.conf");
    EXPECT_EQ(document.Text(), c.text);
    EXPECT_FALSE(document.Modified());
    const std::string why = c.edit(document);
    EXPECT_EQ(document.Text(), c.expected) << why;
    EXPECT_EQ(document.Modified(), c.expected != c.text);
}

const KeySection Vlc{"", "vlc"};

INSTANTIATE_TEST_SUITE_P(
    Table, KeyMapDocumentEdit,
    testing::Values(
        EditCase{"ChangeKeepsIndentAndComment", "  key 42 stop   # the red one\nkey 1 next\n",
                 [](KeyMapDocument& d) { return d.Change(0, Press(42, PlayerAction::PlayPause)); },
                 "  key  42 play-pause  # the red one\nkey 1 next\n"},
        EditCase{"AddGoesAfterTheLastDefault", Base,
                 [](KeyMapDocument& d) {
                     return d.Add(Binding(KeyMap::Kind::Press, {Key::Name("KEY_RED")},
                                          PlayerRequest(PlayerAction::Run, 0, "notify-send hi")));
                 },
                 "# my keys\nkey 42 stop   # the red one\nheld 0xB0 volume-up every=2\n"
                 "key  KEY_RED run notify-send hi\n\n[player=vlc]\nkey 0x60 next\n# end\n"},
        EditCase{"Remove", Base, [](KeyMapDocument& d) { return d.Remove(2); },
                 "# my keys\nkey 42 stop   # the red one\n\n[player=vlc]\nkey 0x60 next\n# end\n"},
        EditCase{"MoveToASection", Base,
                 [](KeyMapDocument& d) { return d.Change(1, Press(42, PlayerAction::Stop, Vlc)); },
                 "# my keys\nheld 0xB0 volume-up every=2\n\n[player=vlc]\nkey 0x60 next\n"
                 "key  42 stop  # the red one\n# end\n"},
        EditCase{"AddToANewSection", "key 1 next",
                 [](KeyMapDocument& d) {
                     return d.Add(Binding(KeyMap::Kind::Long, {Key::Code(1)},
                                          PlayerRequest(PlayerAction::Stop), {"", "mpv*"}));
                 },
                 "key 1 next\n\n[player=mpv*]\nlong 1 stop\n"},
        EditCase{"AddTheFirstDefaultBeforeTheSections", "# keys\n\n[mode=tv]\nkey 1 next\n",
                 [](KeyMapDocument& d) { return d.Add(Press(2, PlayerAction::Mute)); },
                 "# keys\nkey  2 mute\n\n[mode=tv]\nkey 1 next\n"},
        EditCase{"RemoveSectionUpToItsLastBinding", Base,
                 [](KeyMapDocument& d) { return d.RemoveSection(Vlc); },
                 "# my keys\nkey 42 stop   # the red one\nheld 0xB0 volume-up every=2\n\n# end\n"},
        EditCase{"AddThenRemoveASectionLeavesTheText", Base,
                 [](KeyMapDocument& d) {
                     const std::string added = d.AddSection({"tv", ""});
                     return added + d.RemoveSection({"tv", ""});
                 },
                 Base},
        // The blank lines before the last section go with it (ASan sees a read past them).
        EditCase{"RemoveTheLastSectionWithTheBlanksBeforeIt",
                 "key 1 next\n" + std::string(24, ' ') + "\n[mode=tv]\nkey 2 stop\n",
                 [](KeyMapDocument& d) {
                     return d.RemoveSection({"tv", ""});
                 },
                 "key 1 next\n"},
        EditCase{"CrLfStays", "key 1 next\r\nkey 2 stop\r\n",
                 [](KeyMapDocument& d) {
                     const std::string changed = d.Change(1, Press(2, PlayerAction::Play));
                     return changed + d.Add(Press(3, PlayerAction::Pause));
                 },
                 "key 1 next\r\nkey  2 play\r\nkey  3 pause\r\n"},
        // Keys keep the file's spelling through a change and a move, and a typed one its own.
        EditCase{"KeysKeepTheirSpelling", "key 0x60,\"ch/up\" stop\n[mode=tv]\n",
                 [](KeyMapDocument& d) {
                     KeyMap::Line moved = Press(0x60, PlayerAction::Next, {"tv", ""});
                     moved.keys.push_back(Key::Name("ch/up"));
                     std::string why = d.Change(0, Press(0x60, PlayerAction::Mute));
                     why += d.Change(0, moved);
                     why += d.Add(Press(0x2A, PlayerAction::Play), "0x2a");
                     return why + d.Add(Press(0x0B, PlayerAction::Pause, {"tv", ""}), "0x2a");
                 },
                 "key  0x2a play\n[mode=tv]\nkey  0x60,\"ch/up\" next\nkey  11 pause\n"},
        // A command that would lose its end to a comment is not written at all.
        EditCase{"ACommandThatReadsBackOtherwiseIsRefused", Base,
                 [](KeyMapDocument& d) {
                     const std::string why =
                         d.Change(1, Binding(KeyMap::Kind::Press, {Key::Code(42)},
                                             PlayerRequest(PlayerAction::Run, 0, "echo #hi")));
                     EXPECT_EQ(why, "it would be read back as \"key  42 run echo\"");
                     return why;
                 },
                 Base}),
    [](const testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

// Rows are grouped as the file is, the built-in keys among the defaults; each mistake is
// the reader's, on its own row.
TEST(KeyMapDocument, RowsCarryTheirSectionBuiltInMarkAndTheReadersWords) {
    KeyMapDocument document(
        "key 0x60 play-pause\nkey 0x98 stop\nkey 9 run rm -rf /\n"
        "key 5 mode radio\n[mode=tv]\nkey 7 stop\n",
        "keys.conf", [](const std::string& command) {
            return command.starts_with("rm") ? "refused: " + command : "";
        });
    const auto& rows = document.Rows();
    ASSERT_GE(rows.size(), 6u);
    EXPECT_EQ(rows[0].builtIn, KeyMapDocument::BuiltIn::Same);
    EXPECT_EQ(KeyMapDocument::NoteText(rows[0]), "same as built in");
    EXPECT_EQ(KeyMapDocument::KeysText(rows[0]), "0x60");
    EXPECT_EQ(rows[1].builtIn, KeyMapDocument::BuiltIn::No);
    EXPECT_EQ(rows[2].problem, "refused: rm -rf /");
    EXPECT_EQ(rows[3].problem, "there is no [mode=radio] section for \"mode radio\"");
    EXPECT_EQ(rows[4].section, (KeySection{"tv", ""}));
    EXPECT_EQ(rows[4].line, 5);
    std::map<std::string, KeyMapDocument::BuiltIn> builtIn;  // the built-in rows alone
    for (const auto& row : rows) {
        if (row.line < 0) {
            builtIn[row.text] = row.builtIn;
        }
    }
    EXPECT_EQ(builtIn.at("key  152 previous"), KeyMapDocument::BuiltIn::Overridden);
    EXPECT_EQ(builtIn.at("key  24 next"), KeyMapDocument::BuiltIn::Left);
    EXPECT_EQ(builtIn.count("key  96 play-pause"), 0u);  // the file's line is it
    EXPECT_EQ(document.Sections(), (std::vector<KeySection>{{}, {"tv", ""}}));

    // A binding in the section the mode names puts the mistake right.
    EXPECT_EQ(document.Add(Press(1, PlayerAction::Stop, {"radio", ""})), "");
    EXPECT_EQ(document.Rows()[3].problem, "");
    EXPECT_EQ(document.AddSection({"a b", ""}),
              "\"b\" is not a section's condition (mode=NAME or player=GLOB)");
}

TEST(KeyMapDocument, SearchFindsKeysAndActionsCaseAside) {
    const KeyMapDocument document("key KEY_RED seek-forward 30\nheld 7 volume-up every=2\n",
                                  "keys.conf");
    const auto found = [&](std::string_view search) {
        std::vector<int> lines;
        for (const auto& row : document.Rows()) {
            if (row.line >= 0 && KeyMapDocument::Matches(row, search)) {
                lines.push_back(row.line);
            }
        }
        return lines;
    };
    EXPECT_EQ(found("key_red"), std::vector<int>{0});
    EXPECT_EQ(found("SEEK_FORWARD!"), std::vector<int>{0});
    EXPECT_EQ(found("every=2"), std::vector<int>{1});
    EXPECT_EQ(found(""), (std::vector<int>{0, 1}));
}

}  // namespace
