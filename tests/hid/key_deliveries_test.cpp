#include "hid/key_deliveries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hid/hid_device_choice.h"

namespace {

constexpr unsigned Next = 0xB0;       // VK_MEDIA_NEXT_TRACK
constexpr unsigned PlayPause = 0xB3;  // VK_MEDIA_PLAY_PAUSE

// One delivery at a time (the system's milliseconds): the hook's keystroke (H), Raw
// Input's keystroke (K, from a device chosen or not, or from none: a program's), or a
// chosen device's report of the key (R).
struct Step {
    char way;
    bool down;
    unsigned virtualKey;
    std::uint32_t time;
    bool chosen = true;
    bool ours = false;
    bool fromDevice = true;
};

// What each step did: the hook's answer, a keystroke the hook missed, the events made.
std::vector<std::string> Deliver(KeyDeliveries& deliveries, const std::vector<Step>& steps) {
    std::vector<std::string> said;
    for (const Step& s : steps) {
        std::vector<KeyEvent> out;
        std::string line;
        const MediaKey* key = FindMediaKeyByVirtualKey(s.virtualKey);
        if (s.way == 'H') {
            line =
                deliveries.Hooked(s.virtualKey, !s.down, s.ours, s.time, out) ? "kept" : "passed";
        } else if (s.way == 'K') {
            const bool hooked = deliveries.Delivered(s.virtualKey, !s.down, s.ours, s.chosen,
                                                     s.fromDevice, s.time, out);
            line = hooked ? "" : "missed";
        } else {
            deliveries.Reported({KeyEvent{s.down ? KeyAction::Press : KeyAction::Release,
                                          Key::Name(std::string(key->name)),
                                          {},
                                          key->hid.Scancode()}},
                                s.time, out);
        }
        for (const KeyEvent& event : out) {
            const char* action[] = {"press ", "repeat ", "release "};
            line += (line.empty() ? "" : " ") +
                    std::string(action[static_cast<int>(event.action)]) + event.key.Text() + "/" +
                    Key::Scancode(*event.scancode).Text() + (event.releases ? "" : " (no release)");
        }
        said.push_back(line);
    }
    return said;
}

const std::string NextDown = "press KEY_NEXTSONG/scan:0xc00b5";
const std::string NextHeld = "repeat KEY_NEXTSONG/scan:0xc00b5";
const std::string NextUp = "release KEY_NEXTSONG/scan:0xc00b5";

TEST(KeyDeliveries, MakeOnePressOfEveryWayAKeyComes) {
    const struct {
        const char* what;
        bool everyKeyboard, everyKeyboardChosen;
        std::vector<Step> steps;
        std::vector<std::string> said;
    } cases[] = {
        {"every keyboard's keys, on Windows: the hook keeps the press, its typematic repeat and "
         "release, and Raw Input gets none of them",
         true,
         false,
         {{'H', true, Next, 0}, {'H', true, Next, 500}, {'H', false, Next, 600}},
         {"kept " + NextDown, "kept " + NextHeld, "kept " + NextUp}},
        {"under Wine Raw Input brings the kept keystrokes too, after the hook's calls: they are "
         "taken already",
         true,
         false,
         {{'H', true, Next, 0},
          {'H', true, Next, 500},
          {'H', false, Next, 600},
          {'K', true, Next, 0},
          {'K', true, Next, 500},
          {'K', false, Next, 600}},
         {"kept " + NextDown, "kept " + NextHeld, "kept " + NextUp, "", "", ""}},
        {"the keystrokes Quorvel makes pass, and are never taken",
         true,
         false,
         {{'H', true, Next, 0, true, true}, {'K', true, Next, 0, true, true}},
         {"passed", ""}},
        {"a chosen device's report came first: the keystroke Windows made of it is kept, and "
         "adds nothing, even after the report's release",
         false,
         false,
         {{'R', true, PlayPause, 0},
          {'H', true, PlayPause, 2},
          {'H', false, PlayPause, 50},
          {'R', false, PlayPause, 52},
          {'R', true, PlayPause, 900},
          {'R', false, PlayPause, 940},
          {'H', true, PlayPause, 902},
          {'H', false, PlayPause, 942}},
         {"press KEY_PLAYPAUSE/scan:0xc00cd", "kept", "kept", "release KEY_PLAYPAUSE/scan:0xc00cd",
          "press KEY_PLAYPAUSE/scan:0xc00cd", "release KEY_PLAYPAUSE/scan:0xc00cd", "kept",
          "kept"}},
        {"the keystroke came before the report of the same press",
         false,
         false,
         {{'R', true, Next, 0},
          {'R', false, Next, 40},
          {'H', true, Next, 1000},
          {'H', false, Next, 1050},
          {'R', true, Next, 1002},
          {'R', false, Next, 1052}},
         {NextDown, NextUp, "kept " + NextDown, "kept " + NextUp, "", ""}},
        {"a chosen keyboard not known yet: its first press passes and acts from Raw Input; the "
         "next is kept",
         false,
         false,
         {{'H', true, Next, 0},
          {'K', true, Next, 0},
          {'H', false, Next, 50},
          {'K', false, Next, 50},
          {'H', true, Next, 1000},
          {'H', false, Next, 1050}},
         {"passed", NextDown, "passed", NextUp, "kept " + NextDown, "kept " + NextUp}},
        {"another keyboard's key passes, and is not taken",
         false,
         false,
         {{'H', true, Next, 0},
          {'K', true, Next, 0, false},
          {'H', true, Next, 1000},
          {'K', true, Next, 1000, false}},
         {"passed", "", "passed", ""}},
        {"every keyboard there is was chosen: a program's keystroke (from no device) is theirs",
         false,
         true,
         {{'H', true, Next, 0}, {'K', true, Next, 0, true, false, false}},
         {"kept " + NextDown, ""}},
        {"a keystroke the hook was not called for: Windows took the hook away",
         true,
         false,
         {{'K', true, Next, 0}},
         {"missed " + NextDown}},
    };
    for (const auto& c : cases) {
        KeyDeliveries deliveries(c.everyKeyboard);
        deliveries.SetGrabbing(true);
        deliveries.SetEveryKeyboardChosen(c.everyKeyboardChosen);
        EXPECT_EQ(Deliver(deliveries, c.steps), c.said) << c.what;
    }
}

// Without the grab nothing is kept; Raw Input alone brings the keys.
TEST(KeyDeliveries, SharedKeysComeFromRawInputAndGoUpWithTheirDevice) {
    KeyDeliveries deliveries(true);
    EXPECT_EQ(
        Deliver(deliveries, {{'H', true, Next, 0}, {'K', true, Next, 0}, {'K', true, Next, 500}}),
        (std::vector<std::string>{"passed", NextDown, NextHeld}));
    std::vector<KeyEvent> out;
    deliveries.Drop(KeyDeliveries::Keystroke, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].action, KeyAction::Release);
}

TEST(HidDeviceChoice, ChoosesByNameIdsOrPath) {
    const HidDevice remote{"\\\\?\\HID#VID_045E&PID_006D&Col02#7&1",
                           "eHome Infrared Transceiver",
                           0x045E,
                           0x006D,
                           {HidPage::Consumer, 0x01}};
    const struct {
        const char* wanted;
        bool chosen;
    } cases[] = {
        {"name=eHome Infrared Transceiver", true},
        {"name=eHome", false},
        {"045e:006d", true},
        {"045E:006D", true},
        {"045e:006e", false},
        {"\\??\\hid#vid_045e&pid_006d&col02#7&1", true},
        {"\\\\?\\HID#VID_045E&PID_006D&Col01#7&1", false},
        {"media-keys", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HidDeviceChoice({c.wanted}).Chooses(remote), c.chosen) << c.wanted;
        EXPECT_EQ(HidDeviceChoice::WhyNot(c.wanted), "") << c.wanted;
    }
    for (const char* wrong : {"COM3", "/dev/input/event3", "name=", "45e:6d", "mediakeys"}) {
        EXPECT_NE(HidDeviceChoice::WhyNot(wrong).find("names no HID device"), std::string::npos)
            << wrong;
    }
    EXPECT_EQ(HidDeviceChoice::IdsInPath("\\\\?\\HID#VID_845E&PID_0002#0&0000"),
              (std::pair<std::uint16_t, std::uint16_t>{0x845E, 0x0002}));
}

}  // namespace
