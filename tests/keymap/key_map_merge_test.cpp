#include "keymap/key_map_merge.h"

#include <gtest/gtest.h>

namespace {

// The keys learnt take the place of the defaults' lines of their actions, the first of them
// kept where it was with its comment and options; a key taken from another action leaves
// the rest of its line, spelt as it was; sections and comments stay as they were.
TEST(MergeLearnt, KeepsEveryOtherLineSectionAndComment) {
    KeyMapDocument document(
        "# my keys\n"
        "key 42 stop   # the red one\n"
        "key 0x10 play-pause  # old remote\n"
        "key 0x11 play-pause\n"
        "held 0xB0 volume-up every=2\n"
        "key 0xB0 volume-up\n"
        "key 0x12,0x13 mute\n"
        "\n"
        "[player=vlc]\n"
        "key 0x10 next\n"
        "# end\n",
        "keys.conf");
    KeyMap learnt;
    learnt.Bind(KeyMap::Kind::Press, {Key::Code(43)}, PlayerRequest(PlayerAction::PlayPause));
    learnt.Bind(KeyMap::Kind::Press, {Key::Code(0x12), Key::Code(0xB1)},
                PlayerRequest(PlayerAction::VolumeUp));
    learnt.Bind(KeyMap::Kind::Held, {Key::Code(0xB1)}, PlayerRequest(PlayerAction::VolumeUp));
    learnt.Bind(KeyMap::Kind::Press, {Key::Code(0x20)}, PlayerRequest(PlayerAction::Previous));
    EXPECT_EQ(MergeLearnt(document, learnt), "");
    EXPECT_EQ(document.Text(),
              "# my keys\n"
              "key 42 stop   # the red one\n"
              "key  43 play-pause  # old remote\n"
              "held 177 volume-up every=2\n"
              "key  18,177 volume-up\n"
              "key  0x13 mute\n"
              "key  32 previous\n"
              "\n"
              "[player=vlc]\n"
              "key 0x10 next\n"
              "# end\n");
    EXPECT_TRUE(document.Problems().empty());
}

// Whether a key is bound to another action than the one learnt, in the defaults.
TEST(MergeLearnt, NamesWhatAKeyIsBoundToElsewhere) {
    std::vector<std::string> problems;
    const KeyMap map = KeyMap::Parse(
        "key 1 mute\nkey 2 nothing\nkey 3 stop\n[mode=tv]\nkey 4 next\n", "k", problems);
    const auto other = [&](int code) {
        return BoundElsewhere(map, KeyMap::Kind::Press, Key::Code(code), PlayerAction::Stop);
    };
    EXPECT_EQ(other(1), "mute");
    EXPECT_EQ(other(2), "nothing");
    EXPECT_EQ(other(3), "");
    EXPECT_EQ(other(4), "");
    EXPECT_EQ(BoundElsewhere(map, KeyMap::Kind::Held, Key::Code(1), PlayerAction::Stop), "");
}

}  // namespace
