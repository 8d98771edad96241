#include "keymap/key_map.h"

#include <gtest/gtest.h>

#include "serial/event_protocol.h"

namespace {

using Problems = std::vector<std::string>;

KeyEvent Event(int prefix, int code) {
    return {prefix == KeyPrefix ? KeyAction::Press : KeyAction::Repeat, Key::Code(code)};
}

struct GoodCase {
    const char* line;
    KeyMap::Kind kind;
    int code;
    const char* shows;  // what a press (or a held key) with that code shows
    std::optional<PlayerAction> action;
    int seconds = 0;
    const char* command = "";
};

void PrintTo(const GoodCase& c, std::ostream* os) {
    *os << c.line;
}

class KeyMapGoodLine : public testing::TestWithParam<GoodCase> {};

TEST_P(KeyMapGoodLine, BindsAndShows) {
    const GoodCase& c = GetParam();
    Problems problems;
    const KeyMap keys = KeyMap::Parse(c.line, "keys.conf", problems);
    ASSERT_EQ(problems, Problems{});
    const KeyEffect event =
        keys.Decode(Event(c.kind == KeyMap::Kind::Press ? KeyPrefix : RepeatPrefix, c.code));
    EXPECT_EQ(event.text, c.shows);
    ASSERT_EQ(event.request.has_value(), c.action.has_value());
    if (c.action) {
        EXPECT_EQ(event.request->action, *c.action);
        EXPECT_EQ(event.request->seconds, c.seconds);
        EXPECT_EQ(event.request->command, c.command);
    }
    // What is written back reads back the same.
    Problems again;
    EXPECT_EQ(KeyMap::Parse(keys.Format(), "again", again).Format(), keys.Format());
    EXPECT_EQ(again, Problems{});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyMapGoodLine,
    testing::Values(
        GoodCase{"key 42 stop", KeyMap::Kind::Press, 42, "STOP!", PlayerAction::Stop},
        GoodCase{"key 0x2a play-pause", KeyMap::Kind::Press, 42, "PLAY!", PlayerAction::PlayPause},
        GoodCase{"  key\t7 previous   # a comment", KeyMap::Kind::Press, 7, "PREV!",
                 PlayerAction::Previous},
        GoodCase{"held 0x50 volume-down", KeyMap::Kind::Held, 0x50, "  >>REP>>VOL_DOWN!",
                 PlayerAction::VolumeDown},
        GoodCase{"held 9 seek-forward", KeyMap::Kind::Held, 9, "  >>REP>>SEEK_FORWARD!",
                 PlayerAction::SeekForward, 5},
        GoodCase{"key 9 seek-backward 30", KeyMap::Kind::Press, 9, "SEEK_BACKWARD!",
                 PlayerAction::SeekBackward, 30},
        GoodCase{"key 255 run notify-send 'a # b'", KeyMap::Kind::Press, 255, "RUN!",
                 PlayerAction::Run, 0, "notify-send 'a # b'"},
        GoodCase{"key 4 run notify-send hi    # a note", KeyMap::Kind::Press, 4, "RUN!",
                 PlayerAction::Run, 0, "notify-send hi"},
        GoodCase{"key 4 run echo \"#1\" a#b # note", KeyMap::Kind::Press, 4, "RUN!",
                 PlayerAction::Run, 0, "echo \"#1\" a#b"},
        GoodCase{"key 3 play", KeyMap::Kind::Press, 3, "PLAY!", PlayerAction::Play},
        GoodCase{"key 0 mute", KeyMap::Kind::Press, 0, "MUTE!", PlayerAction::Mute},
        GoodCase{"key 3 mode тв.2\n[mode=тв.2]\nkey 4 stop", KeyMap::Kind::Press, 3, "MODE тв.2",
                 PlayerAction::Mode, 0, "тв.2"},
        // Bound to nothing: shown as an unbound key is.
        GoodCase{"key 96 nothing", KeyMap::Kind::Press, 96, "96", std::nullopt},
        GoodCase{"held 96 nothing", KeyMap::Kind::Held, 96, "  >>REP>>96", std::nullopt},
        // Unbound codes.
        GoodCase{"# only a comment", KeyMap::Kind::Press, 96, "96", std::nullopt},
        GoodCase{"key 1 raise", KeyMap::Kind::Held, 1, "  >>REP>>1", std::nullopt}));

struct BadCase {
    const char* text;
    const char* problem;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.text;
}

class KeyMapBadLine : public testing::TestWithParam<BadCase> {};

TEST_P(KeyMapBadLine, IsNamedByItsLine) {
    Problems problems;
    KeyMap::Parse(GetParam().text, "keys.conf", problems);
    EXPECT_EQ(problems, Problems{GetParam().problem});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyMapBadLine,
    testing::Values(
        BadCase{"key 1 stop\n\nkey 3 stpo",
                "keys.conf:3: unknown action \"stpo\" (did you mean \"stop\"?)"},
        BadCase{"key 1 frobnicate", "keys.conf:1: unknown action \"frobnicate\""},
        BadCase{"key 256 stop",
                "keys.conf:1: \"256\" is not a key code (0 to 255, or 0x00 to 0xff)"},
        BadCase{"key -1 stop", "keys.conf:1: \"-1\" is not a key code (0 to 255, or 0x00 to 0xff)"},
        BadCase{"press 1 stop",
                "keys.conf:1: unknown binding \"press\" (a line starts with key, held, double or "
                "long)"},
        BadCase{"key 1",
                "keys.conf:1: a binding needs a code and an action, as in: key 0x60 play-pause"},
        BadCase{"key 1 stop now", "keys.conf:1: \"stop\" takes nothing after it, not \"now\""},
        BadCase{"key 1 seek-forward soon",
                "keys.conf:1: \"soon\" is not a number of seconds (1 to 3600)"},
        BadCase{"key 1 run",
                "keys.conf:1: \"run\" needs a command, as in: key 0x2a run notify-send hello"},
        BadCase{"key 42 stop\nheld 42 stop\nkey 0x2a next",
                "keys.conf:3: key code 42 is bound twice (also on line 1)"},
        // Several codes on a line.
        BadCase{"key 0x21,0x2a stop\nkey 7,42 next",
                "keys.conf:2: key code 42 is bound twice (also on line 1)"},
        BadCase{"key 33,33 stop", "keys.conf:1: key code 33 is bound twice (also on line 1)"},
        BadCase{"key 33, stop", "keys.conf:1: \"\" is not a key code (0 to 255, or 0x00 to 0xff)"},
        BadCase{"key 33,0x100 stop",
                "keys.conf:1: \"0x100\" is not a key code (0 to 255, or 0x00 to 0xff)"},
        // Keys by name and scancode.
        BadCase{"key KEY_OK stop\nkey 7,KEY_OK next",
                "keys.conf:2: key KEY_OK is bound twice (also on line 1)"},
        BadCase{"key scan:0x1g stop",
                "keys.conf:1: \"scan:0x1g\" is not a scancode (scan: and a number up to "
                "0xffffffff)"},
        BadCase{"key KEY_OK:a:b stop",
                "keys.conf:1: \"KEY_OK:a:b\" is not a key name (such as KEY_PLAYPAUSE, or "
                "accept:KEY_OK for the remote named accept; any other in double quotes, as in "
                "\"ch/up\")"},
        // Names in quotes.
        BadCase{"key \"ch/up next",
                "keys.conf:1: a key's name in quotes ends with a quote, as in: key \"ch/up\" "
                "next"},
        BadCase{"key \"a\\b\" stop",
                "keys.conf:1: \"\\b\" in a key's name in quotes: the escapes are \\\" and "
                "\\\\"},
        BadCase{"key \"\" stop", "keys.conf:1: a key's name in quotes is not empty"},
        BadCase{"key \"a\"b stop",
                "keys.conf:1: after a key's name in quotes comes a comma or a blank, not \"b\""},
        BadCase{"key \"1\" stop\nkey 1,\"1\" next",
                "keys.conf:2: key \"1\" is bound twice (also on line 1)"},
        // Hold options.
        BadCase{"key 1 stop once",
                "keys.conf:1: \"once\" shapes a held key's repeats: it belongs on a held line"},
        BadCase{"held 1 stop delay=soon",
                "keys.conf:1: \"delay=soon\" needs a time in milliseconds (0 to 60000)"},
        BadCase{"held 1 stop delay=60001",
                "keys.conf:1: \"delay=60001\" needs a time in milliseconds (0 to 60000)"},
        BadCase{"held 1 stop every=0", "keys.conf:1: \"every=0\" needs a count (1 to 100)"},
        BadCase{"held 1 stop once once", "keys.conf:1: \"once\" is given twice"},
        BadCase{"held 1 stop every=2 once",
                "keys.conf:1: \"once\" acts once a hold, so it takes no every= or accel"},
        BadCase{"held 1 stop once accel",
                "keys.conf:1: \"once\" acts once a hold, so it takes no every= or accel"},
        BadCase{"held 1 stop once now",
                "keys.conf:1: \"stop\" takes nothing after it, not \"once\""},
        BadCase{"held 1 seek-forward 5 6 once",
                "keys.conf:1: too many words after \"seek-forward\""},
        // Gestures, sections and modes.
        BadCase{"double 1 next gap=0",
                "keys.conf:1: \"gap=0\" needs a time in milliseconds (1 to 5000)"},
        BadCase{"long 1 next every=2",
                "keys.conf:1: \"next\" takes nothing after it, not \"every=2\""},
        BadCase{"[colour=red]\nkey 1 stop",
                "keys.conf:1: \"colour=red\" is not a section's condition (mode=NAME or "
                "player=GLOB)"},
        BadCase{"[mode=tv!]\nkey 1 stop",
                "keys.conf:1: \"tv!\" is not a mode's name (letters, digits, _ - .)"},
        BadCase{"key 1 mode tv", "keys.conf:1: there is no [mode=tv] section for \"mode tv\""},
        BadCase{"key 1 mode timeout=5\n[mode=tv]",
                "keys.conf:1: \"mode\" with no name goes back to no mode: it takes no timeout="},
        BadCase{"[player=vlc]\nkey 1 stop\nkey 1 next",
                "keys.conf:3: key code 1 is bound twice (also on line 2)"}));

struct FormatCase {
    const char* line;
    const char* formatted;  // what Format writes back
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.line;
}

class KeyMapFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(KeyMapFormat, WritesWhatReadsBackTheSame) {
    Problems problems;
    const KeyMap keys = KeyMap::Parse(GetParam().line, "keys.conf", problems);
    ASSERT_EQ(problems, Problems{});
    EXPECT_EQ(keys.Format(), GetParam().formatted);
    Problems again;
    EXPECT_EQ(KeyMap::Parse(keys.Format(), "again", again).Format(), keys.Format());
    EXPECT_EQ(again, Problems{});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyMapFormat,
    testing::Values(
        FormatCase{"key 0x21,0xA1 play-pause", "key  33,161 play-pause\n"},
        FormatCase{"key 0xA1,0x21,7 stop\nkey 8 stop", "key  7,33,161 stop\nkey  8 stop\n"},
        FormatCase{"held 0xB0 volume-up delay=300 every=2",
                   "held 176 volume-up delay=300 every=2\n"},
        FormatCase{"held 0x60 stop once delay=800", "held 96 stop delay=800 once\n"},
        FormatCase{"held 1,2 seek-forward 10 accel every=1  # slow, then faster",
                   "held 1,2 seek-forward 10 accel\n"},
        FormatCase{"held 3 seek-backward delay=0 every=3", "held 3 seek-backward every=3\n"},
        FormatCase{"held 4 nothing once", "held 4 nothing once\n"},
        FormatCase{"held 5 run notify-send 'held long' once delay=1000",
                   "held 5 run notify-send 'held long' delay=1000 once\n"},
        // Only a held line has options: a key line's run command keeps every word.
        FormatCase{"key 5 run say once", "key  5 run say once\n"},
        FormatCase{"long 6 stop delay=600\ndouble 6 run say gap=200\nkey 6 mode tv timeout=9\n"
                   "[player=vlc mode=tv]\nkey 6 mode\n[player=vlc]\nkey 6 next",
                   "key  6 mode tv timeout=9\ndouble 6 run say gap=200\nlong 6 stop\n\n"
                   "[mode=tv player=vlc]\nkey  6 mode\n\n[player=vlc]\nkey  6 next\n"},
        // A section's keys in key order; a header given again goes on with its section.
        FormatCase{"[player=vlc]\nkey KEY_OK stop\nkey 200 next\n[mode=tv]\nkey 1 next\n"
                   "[player=vlc]\nkey 3 play",
                   "\n[player=vlc]\nkey  3 play\nkey  200 next\nkey  KEY_OK stop\n\n[mode=tv]\n"
                   "key  1 next\n"},
        // A name is written in quotes when bare it would read as another key, or not at all.
        FormatCase{"key KEY_OK,\"1\",\"ch/up\",vol+ next",
                   "key  \"1\",KEY_OK,\"ch/up\",vol+ next\n"},
        FormatCase{"key tv:KEY_OK,\"tv:1\",\"tv:ch/up\",tv:vol+ stop",
                   "key  \"tv:1\",tv:KEY_OK,\"tv:ch/up\",tv:vol+ stop\n"},
        FormatCase{"key \"KEY_OK\",\"scan:0x10\",\"0x10\",\"a,b #c\" nothing",
                   "key  \"0x10\",KEY_OK,\"a,b #c\",\"scan:0x10\" nothing\n"},
        FormatCase{"key \"a\\\"b\\\\c\",1 stop", "key  1,\"a\\\"b\\\\c\" stop\n"}));

struct GlobCase {
    std::string glob;
    std::string name;
    bool matches;
};

void PrintTo(const GlobCase& c, std::ostream* os) {
    *os << c.glob.substr(0, 40) << " against " << c.name.substr(0, 40);
}

class KeyMapGlob : public testing::TestWithParam<GlobCase> {};

TEST_P(KeyMapGlob, MatchesByCodePointCaseAside) {
    EXPECT_EQ(GlobMatches(GetParam().glob, GetParam().name), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyMapGlob,
    testing::Values(GlobCase{"", "", true}, GlobCase{"*", "", true}, GlobCase{"?", "", false},
                    GlobCase{"vlc", "VLC", true}, GlobCase{"vlc", "vlc2", false},
                    GlobCase{"a*b*c", "aXbYc", true}, GlobCase{"a*b*c", "acb", false},
                    GlobCase{"a*a", "a", false}, GlobCase{"*aab", "aaab", true},
                    GlobCase{"*ab*abc", "ababc", true}, GlobCase{"?*?", "x", false},
                    GlobCase{"*" + std::string(50, 'a') + "b*", std::string(100, 'a'), false},
                    // Code points, folded as file names are.
                    GlobCase{"*плеер*", "ПЛЕЕР.exe", true}, GlobCase{"?.exe", "Я.exe", true},
                    GlobCase{"??", "пл", true}, GlobCase{"Ё*", "ёлка", true},
                    GlobCase{"ÉCOUTE", "écoute", true}, GlobCase{"é", "e", false},
                    GlobCase{"ŁÓDŹ", "łódź", true}, GlobCase{"ΛΌΓΟΣ", "λόγος", true},
                    // Bytes that are not UTF-8 are themselves, one apiece.
                    GlobCase{"a?c",
                             "a\xFF"
                             "c",
                             true},
                    GlobCase{"x\xC3", "X\xC3", true}, GlobCase{"a\xFF", "a\xFE", false},
                    // A name is matched up to LongestMatchedName bytes, cut between characters.
                    GlobCase{"*a", std::string(255, 'a') + "éz", true},
                    GlobCase{"*z", std::string(255, 'a') + "éz", false}));

// Which section a key goes by, in the order mode with player, mode, player, defaults; a
// key a section does not bind falls through.
struct SectionCase {
    const char* mode;
    std::vector<std::string> player;
    int code;
    const char* shows;
};

void PrintTo(const SectionCase& c, std::ostream* os) {
    *os << "mode '" << c.mode << "', player";
    for (const std::string& name : c.player) {
        *os << " '" << name << "'";
    }
    *os << ", key " << c.code;
}

class KeyMapSection : public testing::TestWithParam<SectionCase> {};

TEST_P(KeyMapSection, ResolvesInOrder) {
    Problems problems;
    const KeyMap keys = KeyMap::Parse(
        "key 1 play-pause\nkey 2 next\nkey 3 mode tv\n"
        "[player=vlc]\nkey 1 pause\n"
        "[mode=tv]\nkey 1 stop\n"
        "[mode=tv player=KODI*]\nkey 1 mute\n"
        "[player=mpv*]\nkey 2 previous\nkey 1 nothing",
        "keys.conf", problems);
    ASSERT_EQ(problems, Problems{});
    const SectionCase& c = GetParam();
    EXPECT_EQ(keys.Decode(Event(KeyPrefix, c.code), {c.mode, c.player}).text, c.shows);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyMapSection,
    testing::Values(SectionCase{"", {}, 1, "PLAY!"}, SectionCase{"", {"VLC"}, 1, "PAUSE!"},
                    SectionCase{"", {"vlc.instance2"}, 1, "PLAY!"},
                    SectionCase{"", {"spotify", "VLC"}, 1, "PAUSE!"},
                    SectionCase{"tv", {"vlc"}, 1, "STOP!"},
                    SectionCase{"tv", {"kodi", "Kodi"}, 1, "MUTE!"},
                    SectionCase{"tv", {"kodi"}, 2, "NEXT!"},
                    SectionCase{"", {"mpv.instance123"}, 2, "PREV!"},
                    SectionCase{"", {"mpv"}, 1, "1"},  // bound to nothing there
                    SectionCase{"radio", {}, 1, "PLAY!"}, SectionCase{"", {}, 3, "MODE tv"}));

TEST(KeyMap, CodesOnOneLineShareTheBindingAndTheHoldShape) {
    Problems problems;
    const KeyMap keys =
        KeyMap::Parse("key 0x21,0xA1 play-pause\nheld 0x21,0xA1 volume-up delay=300 every=2",
                      "keys.conf", problems);
    ASSERT_EQ(problems, Problems{});
    for (const int code : {0x21, 0xA1}) {
        EXPECT_EQ(keys.Decode(Event(KeyPrefix, code)).text, "PLAY!");
        const KeyEffect held = keys.Decode(Event(RepeatPrefix, code));
        EXPECT_EQ(held.text, "  >>REP>>VOL_UP!");
        EXPECT_EQ(held.hold, (HoldShape{300, 2, false, false}));
    }
    EXPECT_EQ(keys.Decode(Event(KeyPrefix, 0x22)).text, "34");
    EXPECT_EQ(keys.Decode(Event(KeyPrefix, 0x21)).hold, HoldShape{});
}

// Keys other sources name, beside codes: bound, shown and written back in key order.
TEST(KeyMap, BindsKeysOfEveryKind) {
    KeyMap keys;
    const Key name = Key::Name("KEY_PLAYPAUSE");
    const Key scan = Key::Scancode(0x800f0422);
    ASSERT_TRUE(keys.Bind(KeyMap::Kind::Press, {scan, name}, PlayerRequest{PlayerAction::Next}));
    EXPECT_FALSE(keys.Bind(KeyMap::Kind::Press, {name}, PlayerRequest{PlayerAction::Stop}));
    ASSERT_TRUE(keys.Bind(KeyMap::Kind::Press, {Key::Code(7)}, std::nullopt));
    EXPECT_EQ(keys.Decode({KeyAction::Press, scan}).text, "NEXT!");
    EXPECT_EQ(keys.Decode({KeyAction::Repeat, name}).text, "  >>REP>>KEY_PLAYPAUSE");
    EXPECT_EQ(keys.Decode({KeyAction::Press, Key::Name("KEY_OK")}).text, "KEY_OK");
    EXPECT_EQ(keys.Format(), "key  7 nothing\nkey  KEY_PLAYPAUSE,scan:0x800f0422 next\n");
}

// Named keys, scancodes and a remote's own key, read from lines and written back alike;
// a key bound for the remote that sent it goes before the same key of any remote.
TEST(KeyMap, ReadsKeysByNameAndScancode) {
    Problems problems;
    const KeyMap keys = KeyMap::Parse(
        "key KEY_PLAYPAUSE play-pause\nheld KEY_VOLUMEUP volume-up every=2\n"
        "key scan:0x800f0422 next\nkey accept:KEY_OK stop\nkey KEY_OK mute\n",
        "keys.conf", problems);
    EXPECT_EQ(problems, Problems{});
    const struct {
        KeyEvent event;
        const char* text;
    } shown[] = {
        {{KeyAction::Press, Key::Name("KEY_PLAYPAUSE")}, "PLAY!"},
        {{KeyAction::Repeat, Key::Name("KEY_VOLUMEUP")}, "  >>REP>>VOL_UP!"},
        {{KeyAction::Press, Key::Scancode(0x800f0422)}, "NEXT!"},
        {{KeyAction::Press, Key::Name("KEY_OK"), "accept"}, "STOP!"},
        {{KeyAction::Press, Key::Name("KEY_OK"), "other"}, "MUTE!"},
        {{KeyAction::Press, Key::Name("KEY_OK")}, "MUTE!"},
        {{KeyAction::Press, Key::Name("KEY_OK"), "", 0x800f0422}, "NEXT!"},
        {{KeyAction::Press, Key::Name("KEY_OK"), "", 0x1234}, "MUTE!"},
    };
    for (const auto& s : shown) {
        EXPECT_EQ(keys.Decode(s.event).text, s.text) << s.event.key.Text() << s.event.remote;
    }
    EXPECT_EQ(keys.Decode({KeyAction::Repeat, Key::Name("KEY_VOLUMEUP")}).hold.every, 2);
    Problems again;
    EXPECT_EQ(KeyMap::Parse(keys.Format(), "again", again).Format(), keys.Format());
    EXPECT_EQ(again, Problems{});
}

// The built-in map is the receiver's own remote, and the same keys as the kernel and lircd
// name them, as the file format writes it.
TEST(KeyMap, StandardIsTheReceiversRemote) {
    EXPECT_EQ(KeyMap::Standard().Format(),
              "key  24 next\nkey  96 play-pause\nkey  112 volume-down\nkey  152 previous\n"
              "key  176 volume-up\n"
              "key  KEY_FASTFORWARD seek-forward\nkey  KEY_MUTE mute\n"
              "key  KEY_NEXT,KEY_NEXTSONG next\nkey  KEY_PAUSE,KEY_PLAY,KEY_PLAYPAUSE play-pause\n"
              "key  KEY_PREVIOUS,KEY_PREVIOUSSONG previous\nkey  KEY_REWIND seek-backward\n"
              "key  KEY_STOP,KEY_STOPCD stop\nkey  KEY_VOLUMEDOWN volume-down\n"
              "key  KEY_VOLUMEUP volume-up\n"
              "held 112 volume-down\nheld 176 volume-up\n"
              "held KEY_VOLUMEDOWN volume-down\nheld KEY_VOLUMEUP volume-up\n");
}

}  // namespace
