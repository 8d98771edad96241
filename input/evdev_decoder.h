#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "source/key_source.h"

// One input event as the kernel gives it (struct input_event without its time).
struct RawInputEvent {
    unsigned type;
    unsigned code;
    int value;
};

// Turns one input device's events into key events: a key value of 1 is a press, 2 a repeat
// (the kernel's autorepeat while held), 0 a release. The scancode a receiver reports
// (MSC_SCAN, before the key in the same frame) goes with the key, and names a key the kernel
// maps to nothing. After SYN_DROPPED the frame under way is dropped; what libevdev then hands
// over to bring its state in line (a key that went up or down meanwhile) are events as any
// other. A name that breaks the rule for key names (Key::WhyNotAName) is no name: the key
// then goes by its scancode, or as KEY_ and its code. Every event says that its source gives
// releases.
class EvdevDecoder {
  public:
    // The kernel's name of a key code (KEY_PLAYPAUSE), or empty.
    using Namer = std::function<std::string(unsigned code)>;
    explicit EvdevDecoder(Namer namer) : namer_(std::move(namer)) {}

    // Appends the key event that event completes, if any.
    void Take(const RawInputEvent& event, std::vector<KeyEvent>& out);
    // Every key down goes up: its device is gone.
    void ReleaseAll(std::vector<KeyEvent>& out);
    bool AnyKeyDown() const { return !down_.empty(); }

  private:
    KeyEvent Event(KeyAction action, unsigned code);

    Namer namer_;
    std::optional<std::uint32_t> scancode_;  // reported in the frame being read
    // The keys down, with the scancode each went down with.
    std::map<unsigned, std::optional<std::uint32_t>> down_;
};
