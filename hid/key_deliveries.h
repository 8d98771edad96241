#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "source/key_source.h"

// One press of a media key on Windows is one press, however it is delivered. A press may
// come three ways: as a HID report of its device's collection (Raw Input, with the
// device), as the keystroke Windows makes of it (Raw Input, with the device), and as that
// keystroke in the low-level keyboard hook, which is called first and names no device.
//
// The hook and Raw Input see the same keystroke, with the same time stamp: a Raw Input
// keystroke is matched with the hook's call of the same key, direction and time (else with
// the earliest call of its key and direction that the hook let pass). One the
// hook kept from the system reaches Raw Input no more on Windows; under Wine it still does,
// and is then already taken. One the hook was not called for tells that Windows removed
// the hook. A report and the keystroke Windows made of it have times of their own: a key is
// down while any way holds it, and a way that brings a key within EchoWindow after another
// way's press of it ended brings the same press, so a press that comes both ways is one
// press and one release in whatever order they arrive. A keystroke made again while down
// (a keyboard's typematic repeat) is a repeat.
//
// The hook must answer at once, before the Raw Input of its keystroke has come, so it
// judges by what is known then. While grabbing it keeps a media key's keystroke from the
// system when every keyboard's media keys are wanted, when every keyboard there is was
// chosen, when a chosen device's report of the key came first, or when the last device that
// brought the key was a chosen one; and a release as it kept the press. Keys are named by
// MediaKeys, with their scancodes, as HidKeyDecoder names them. Times are the system's
// milliseconds (they wrap). Plain: the Raw Input source feeds it.
class KeyDeliveries {
  public:
    enum Way : unsigned { Report = 1, Keystroke = 2, Hook = 4 };
    static constexpr std::uint32_t EchoWindow = 100;

    explicit KeyDeliveries(bool everyKeyboard) : everyKeyboard_(everyKeyboard) {}

    // The hook is in place, keeping the keys it judges the chosen devices'.
    void SetGrabbing(bool grabbing) { grabbing_ = grabbing; }
    // Every keyboard there is was chosen (and there is one): any keystroke is theirs.
    void SetEveryKeyboardChosen(bool chosen) { everyKeyboardChosen_ = chosen; }

    // A keystroke in the hook (ours: one Quorvel made itself): whether to keep it from the
    // system. What it makes goes to out.
    bool Hooked(unsigned virtualKey, bool up, bool ours, std::uint32_t time,
                std::vector<KeyEvent>& out);
    // A keystroke as Raw Input gives it, from a device (or, injected on Windows, from none)
    // that is chosen or not. False when the hook, grabbing, was not called for it.
    bool Delivered(unsigned virtualKey, bool up, bool ours, bool chosen, bool fromDevice,
                   std::uint32_t time, std::vector<KeyEvent>& out);
    // The presses and releases a chosen device's report made (HidKeyDecoder's).
    void Reported(const std::vector<KeyEvent>& events, std::uint32_t time,
                  std::vector<KeyEvent>& out);
    // The keys only way holds go up: its device went.
    void Drop(Way way, std::vector<KeyEvent>& out);

  private:
    struct Held {
        unsigned ways = 0;
        unsigned ever = 0;      // every way that held it during this press
        unsigned repeater = 0;  // the keystroke way whose repeats count
        bool echo = false;      // held only by a way that brings an ended press again
        std::optional<std::uint32_t> scancode;
    };
    struct Ended {
        unsigned ways;
        std::uint32_t time;
    };
    struct Call {
        unsigned virtualKey;
        bool up;
        std::uint32_t time;
        bool kept;
    };
    void Take(Way way, const Key& key, std::optional<std::uint32_t> scancode, bool up,
              std::uint32_t time, std::vector<KeyEvent>& out);
    // A report of key came within the echo window, or holds it now.
    bool Reporting(const Key& key, std::uint32_t time) const;

    bool everyKeyboard_;
    bool grabbing_ = false;
    bool everyKeyboardChosen_ = false;
    std::map<Key, Held> held_;
    std::map<Key, Ended> ended_;
    // The hook's latest calls, awaiting their Raw Input keystrokes (none comes on Windows
    // for those it kept, so only the latest are kept).
    std::deque<Call> calls_;
    // The virtual keys whose press the hook kept.
    std::set<unsigned> kept_;
    // Whether the last device that brought each key (by name) was a chosen one.
    std::map<std::string, bool> lastChosen_;
};
