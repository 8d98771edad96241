#include "hid/key_deliveries.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "hid/hid_device_choice.h"
#include "hid/hook_judge.h"

namespace {

constexpr unsigned Next = 0xB0;       // VK_MEDIA_NEXT_TRACK
constexpr unsigned PlayPause = 0xB3;  // VK_MEDIA_PLAY_PAUSE
constexpr unsigned VolumeUp = 0xAF;   // VK_VOLUME_UP

// The presses that act: by the keys' names.
struct ActingKeys : PressVerdict {
    bool WouldAct(const KeyEvent& press) const override { return names.count(press.key.Text()); }
    std::set<std::string> names{"KEY_NEXTSONG", "KEY_PLAYPAUSE"};
};

// One delivery at a time (the system's milliseconds): the hook's keystroke (H, judged as
// the hook's thread judges it), Raw Input's keystroke (K, from a device chosen or not), a
// chosen device's report of the key (R), or the time passing (E).
struct Step {
    char way;
    bool down;
    unsigned virtualKey;
    std::uint32_t time;
    bool chosen = true;
    bool ours = false;
};

// The hook's side and the Raw Input source's, as the source joins them.
struct Deliveries {
    explicit Deliveries(bool everyKeyboard, bool grabbing = true)
        : judge(everyKeyboard, facts, &acting) {
        deliveries.SetGrabbing(grabbing);
    }
    // What each step did: the hook's answer, a hook found missing, the events made.
    std::vector<std::string> Deliver(const std::vector<Step>& steps) {
        std::vector<std::string> said;
        for (const Step& s : steps) {
            std::vector<KeyEvent> out;
            std::string line;
            const MediaKey* key = FindMediaKeyByVirtualKey(s.virtualKey);
            if (s.way == 'H') {
                const bool kept = judge.Keep(s.virtualKey, !s.down, s.ours, s.time);
                deliveries.Hooked(s.virtualKey, !s.down, s.ours, kept, s.time, out);
                line = kept ? "kept" : "passed";
            } else if (s.way == 'K') {
                deliveries.Delivered(s.virtualKey, !s.down, s.ours, s.chosen, s.time, out);
            } else if (s.way == 'E') {
                line = deliveries.Expire(s.time, out) ? "missed" : "";
            } else {
                deliveries.Reported({KeyEvent{s.down ? KeyAction::Press : KeyAction::Release,
                                              Key::Name(std::string(key->name)),
                                              {},
                                              key->hid.Scancode()}},
                                    s.time, out);
            }
            said.push_back(line + Said(out));
        }
        return said;
    }
    static std::string Said(const std::vector<KeyEvent>& out) {
        std::string line;
        for (const KeyEvent& event : out) {
            const char* action[] = {"press ", "repeat ", "release "};
            line += " " + std::string(action[static_cast<int>(event.action)]) + event.key.Text() +
                    "/" + Key::Scancode(*event.scancode).Text();
        }
        return line;
    }
    HookFacts facts;
    ActingKeys acting;
    HookJudge judge;
    KeyDeliveries deliveries{&facts};
};

const std::string NextDown = " press KEY_NEXTSONG/scan:0xc00b5";
const std::string NextHeld = " repeat KEY_NEXTSONG/scan:0xc00b5";
const std::string NextUp = " release KEY_NEXTSONG/scan:0xc00b5";
const std::string PlayDown = " press KEY_PLAYPAUSE/scan:0xc00cd";
const std::string PlayUp = " release KEY_PLAYPAUSE/scan:0xc00cd";

TEST(KeyDeliveries, MakeOnePressOfEveryWayAKeyComes) {
    const struct {
        const char* what;
        bool everyKeyboard;
        std::vector<Step> steps;
        std::vector<std::string> said;
    } cases[] = {
        {"every keyboard's keys, on Windows: the hook keeps the press, its typematic repeat and "
         "release, and Raw Input gets none of them",
         true,
         {{'H', true, Next, 0}, {'H', true, Next, 500}, {'H', false, Next, 600}},
         {"kept" + NextDown, "kept" + NextHeld, "kept" + NextUp}},
        {"under Wine Raw Input brings the kept keystrokes too, before or after the hook's "
         "calls: they are taken already",
         true,
         {{'H', true, Next, 0},
          {'K', true, Next, 0},
          {'K', false, Next, 600},
          {'H', false, Next, 600},
          {'E', false, 0, 5000}},
         {"kept" + NextDown, "", "", "kept" + NextUp, ""}},
        {"a key that would not act passes, and is read from Raw Input, in either order",
         true,
         {{'K', true, VolumeUp, 0},
          {'H', true, VolumeUp, 0},
          {'H', false, VolumeUp, 40},
          {'K', false, VolumeUp, 40}},
         {"", "passed press KEY_VOLUMEUP/scan:0xc00e9", "passed",
          " release KEY_VOLUMEUP/scan:0xc00e9"}},
        {"the keystrokes Quorvel makes pass, and are never taken",
         true,
         {{'H', true, Next, 0, true, true}, {'K', true, Next, 0, true, true}},
         {"passed", ""}},
        {"a chosen device's report came first: the keystroke Windows made of it is kept, and "
         "adds nothing, even after the report's release",
         false,
         {{'R', true, PlayPause, 0},
          {'H', true, PlayPause, 2},
          {'H', false, PlayPause, 50},
          {'R', false, PlayPause, 52},
          {'R', true, PlayPause, 900},
          {'R', false, PlayPause, 940},
          {'H', true, PlayPause, 902},
          {'H', false, PlayPause, 942}},
         {PlayDown, "kept", "kept", PlayUp, PlayDown, PlayUp, "kept", "kept"}},
        {"the keystroke came before the report of the same press: it passes, and is one press "
         "with the report",
         false,
         {{'H', true, Next, 1000},
          {'K', true, Next, 1000},
          {'R', true, Next, 1002},
          {'H', false, Next, 1050},
          {'K', false, Next, 1050},
          {'R', false, Next, 1052}},
         {"passed", NextDown, "", "passed", "", NextUp}},
        {"a chosen keyboard's press is decided by its own Raw Input: another keyboard's press "
         "after it passes and is not taken",
         false,
         {{'H', true, Next, 0},
          {'K', true, Next, 0},
          {'H', false, Next, 50},
          {'K', false, Next, 50},
          {'H', true, Next, 1000},
          {'K', true, Next, 1000, false},
          {'H', false, Next, 1050},
          {'K', false, Next, 1050, false}},
         {"passed", NextDown, "passed", NextUp, "passed", "", "passed", ""}},
        {"a keystroke the hook is not called for within the match window: Windows took the "
         "hook away",
         true,
         {{'K', true, Next, 0}, {'E', false, 0, 1000}, {'E', false, 0, 1001}},
         {"", "", "missed" + NextDown}},
    };
    for (const auto& c : cases) {
        Deliveries d(c.everyKeyboard);
        EXPECT_EQ(d.Deliver(c.steps), c.said) << c.what;
    }
}

// A burst far ahead of Raw Input, kept calls that never see theirs, and Raw Input ahead
// of the hook: nothing is taken twice, nothing is taken for a lost hook.
TEST(KeyDeliveries, MatchWhateverIsPendingInEitherOrder) {
    for (const bool rawInputFirst : {false, true}) {
        Deliveries d(true);
        std::vector<Step> kept;
        std::vector<Step> passed;
        std::vector<Step> strokes;
        for (std::uint32_t i = 0; i < 150; ++i) {
            kept.push_back({'H', i % 2 == 0, Next, i});
            passed.push_back({'H', i % 2 == 0, VolumeUp, 200 + i});
            strokes.push_back({'K', i % 2 == 0, VolumeUp, 200 + i});
        }
        d.Deliver(kept);
        d.Deliver(rawInputFirst ? strokes : passed);
        const std::vector<std::string> said = d.Deliver(rawInputFirst ? passed : strokes);
        EXPECT_EQ(said[0],
                  std::string(rawInputFirst ? "passed" : "") + " press KEY_VOLUMEUP/scan:0xc00e9");
        EXPECT_EQ(said[149], std::string(rawInputFirst ? "passed" : "") +
                                 " release KEY_VOLUMEUP/scan:0xc00e9");
        EXPECT_EQ(d.Deliver({{'E', false, 0, 500}}), std::vector<std::string>{""});
        EXPECT_EQ(d.deliveries.Pending(), 150u);  // the kept calls, until the window ends
        EXPECT_EQ(d.Deliver({{'E', false, 0, 5000}}), std::vector<std::string>{""});
        EXPECT_EQ(d.deliveries.Pending(), 0u);
    }
}

// A reload, a mode or a player that comes changes what the hook keeps, from the next press.
TEST(KeyDeliveries, KeepAPressOnlyWhileItWouldAct) {
    Deliveries d(true);
    EXPECT_EQ(d.Deliver({{'H', true, VolumeUp, 0},
                         {'K', true, VolumeUp, 0},
                         {'H', false, VolumeUp, 10},
                         {'K', false, VolumeUp, 10}}),
              (std::vector<std::string>{"passed", " press KEY_VOLUMEUP/scan:0xc00e9", "passed",
                                        " release KEY_VOLUMEUP/scan:0xc00e9"}));
    // At once a press of its own, however soon after the one that passed.
    d.acting.names.insert("KEY_VOLUMEUP");
    EXPECT_EQ(d.Deliver({{'H', true, VolumeUp, 20}})[0], "kept press KEY_VOLUMEUP/scan:0xc00e9");
    // Its release is kept as its press was, whatever changed meanwhile.
    d.acting.names.clear();
    EXPECT_EQ(d.Deliver({{'H', false, VolumeUp, 30}})[0], "kept release KEY_VOLUMEUP/scan:0xc00e9");
}

// A kept press whose release never comes (its device unplugged, the hook removed) is
// forgotten: its key goes up, and the next press is a press.
TEST(KeyDeliveries, ForgetAKeptPressWhenItsDeviceOrHookGoes) {
    for (const bool hookReplaced : {false, true}) {
        Deliveries d(true);
        d.Deliver({{'H', true, Next, 0}, {'K', true, VolumeUp, 5}});
        std::vector<KeyEvent> out;
        d.facts.ForgetKept();
        if (hookReplaced) {
            d.deliveries.HookReplaced(out);
        } else {
            d.deliveries.Drop(KeyDeliveries::Hook, out);
        }
        EXPECT_EQ(Deliveries::Said(out),
                  hookReplaced ? " press KEY_VOLUMEUP/scan:0xc00e9" + NextUp : NextUp);
        EXPECT_EQ(d.Deliver({{'H', true, Next, 2000}})[0], "kept" + NextDown);
    }
}

// Without the grab nothing is kept; Raw Input alone brings the keys.
TEST(KeyDeliveries, SharedKeysComeFromRawInputAndGoUpWithTheirDevice) {
    Deliveries d(true, false);
    EXPECT_EQ(d.Deliver({{'K', true, Next, 0}, {'K', true, Next, 500}}),
              (std::vector<std::string>{NextDown, NextHeld}));
    std::vector<KeyEvent> out;
    d.deliveries.Drop(KeyDeliveries::Keystroke, out);
    EXPECT_EQ(Deliveries::Said(out), NextUp);
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
    for (const auto& [path, ids] : std::initializer_list<std::pair<const char*, std::uint32_t>>{
             {"\\\\?\\HID#VID_845E&PID_0002#0&0000", 0x845E0002},
             {"\\\\?\\HID#{00001124-0000-1000-8000-00805f9b34fb}_VID&0002045e_PID&0800&Col01#8&1",
              0x045E0800},
             {"\\\\?\\HID#VID&0002045e#1", 0}}) {
        const auto found = HidDeviceChoice::IdsInPath(path);
        EXPECT_EQ(found ? std::uint32_t{found->first} << 16 | found->second : 0, ids) << path;
    }
}

}  // namespace
