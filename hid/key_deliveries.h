#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "hid/hook_facts.h"
#include "source/key_source.h"

// One press of a media key on Windows is one press, however it is delivered. A press may
// come three ways: as a HID report of its device's collection (Raw Input, with the
// device), as the keystroke Windows makes of it (Raw Input, with the device), and as that
// keystroke in the low-level keyboard hook, which is called first, names no device, and
// judges on a thread of its own (HookJudge) whether to keep it from the system.
//
// The hook and Raw Input see the same keystroke, with the same time stamp: a Raw Input
// keystroke is matched with the hook's call of the same key, direction and time (else with
// the earliest call of its key and direction that the hook let pass). One the hook kept was
// taken from the hook already; one it passed is taken from Raw Input, with its device, when
// that device is chosen. The two arrive in either order: a call waits for its keystroke, and
// a keystroke for its call, MatchWindow at most (a kept keystroke reaches no Raw Input on
// Windows; under Wine it still does). A keystroke whose call has not come by then tells that
// Windows removed the hook, and is taken as one the hook passed.
//
// A report and the keystroke Windows made of it have times of their own: a key is down while
// any way holds it, and a report that brings a key within EchoWindow after a keystroke's
// press of it ended (or a keystroke after a report's) brings the same press, so a press that comes
// both ways is one press and one release in whatever order they arrive. A keystroke made again
// while down (a keyboard's typematic repeat) is a repeat. Which keys a report holds is told to
// HookFacts, for the hook's judgement. Keys are named by MediaKeys, with their scancodes, as
// HidKeyDecoder names them. Times are the system's milliseconds (they wrap). Plain: the Raw Input
// source feeds it, on one thread.
class KeyDeliveries {
  public:
    enum Way : unsigned { Report = 1, Keystroke = 2, Hook = 4 };
    static constexpr std::uint32_t EchoWindow = 100;
    // The longest a hook's call and the Raw Input of its keystroke wait for each other: the
    // longest Windows waits for a hook's answer.
    static constexpr std::uint32_t MatchWindow = 1000;

    // facts, when given, is told what the reports hold; it must outlive this.
    explicit KeyDeliveries(HookFacts* facts = nullptr) : facts_(facts) {}

    // A hook is in place: Raw Input's keystrokes are matched with its calls.
    void SetGrabbing(bool grabbing) { grabbing_ = grabbing; }

    // A keystroke in the hook (ours: one Quorvel made itself), kept from the system or not.
    void Hooked(unsigned virtualKey, bool up, bool ours, bool kept, std::uint32_t time,
                std::vector<KeyEvent>& out);
    // A keystroke as Raw Input gives it, from a device (or, injected on Windows, from none)
    // that is chosen or not.
    void Delivered(unsigned virtualKey, bool up, bool ours, bool chosen, std::uint32_t time,
                   std::vector<KeyEvent>& out);
    // The presses and releases a chosen device's report made (HidKeyDecoder's).
    void Reported(const std::vector<KeyEvent>& events, std::uint32_t time,
                  std::vector<KeyEvent>& out);
    // The keys only way holds go up: its device went, or its hook.
    void Drop(Way way, std::vector<KeyEvent>& out);
    // The hook was put in place afresh: the calls awaited from the one before never come,
    // and the keys it alone held go up.
    void HookReplaced(std::vector<KeyEvent>& out);

    // At now, what waited longer than MatchWindow: a keystroke whose hook call never came is
    // taken as one the hook passed. True when there was such a keystroke: the hook is gone.
    bool Expire(std::uint32_t now, std::vector<KeyEvent>& out);
    // When Expire has a keystroke to give up on; none while none waits.
    std::optional<std::uint32_t> NextExpiry() const;
    // How many calls and keystrokes wait to be matched.
    std::size_t Pending() const { return calls_.size() + strokes_.size(); }

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
    // A hook's call, or a Raw Input keystroke, waiting for the other.
    struct Call {
        unsigned virtualKey;
        bool up;
        std::uint32_t time;
        bool kept;
    };
    struct Stroke {
        unsigned virtualKey;
        bool up;
        bool ours;
        bool chosen;
        std::uint32_t time;
    };
    // A Raw Input keystroke whose hook call is known (or will never come).
    void Settle(const Stroke& stroke, bool kept, std::vector<KeyEvent>& out);
    void Take(Way way, const Key& key, std::optional<std::uint32_t> scancode, bool up,
              std::uint32_t time, std::vector<KeyEvent>& out);
    void Tell(const Key& key);

    HookFacts* facts_;
    bool grabbing_ = false;
    std::map<Key, Held> held_;
    std::map<Key, Ended> ended_;
    // Both in the order they came.
    std::deque<Call> calls_;
    std::deque<Stroke> strokes_;
};
