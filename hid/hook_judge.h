#pragma once

#include <bitset>
#include <cstdint>

#include "hid/hook_facts.h"
#include "source/press_verdict.h"

// The keyboard hook's judgement, made on the hook's own thread before the Raw Input of the
// keystroke exists (the hook names no device): whether to keep a media key's keystroke from
// the system and the program in front. A press is kept only when it is the chosen devices'
// (every keyboard's media keys were wanted, every keyboard there is was chosen, or a chosen
// device's HID report of the key came with it, HookFacts) and it will act (PressVerdict:
// bound in the section in force, with something to take it); its repeats and its release are
// kept as it was, until HookFacts says to forget what was kept. The keystrokes Quorvel makes
// itself always pass. Plain, and used on one thread (the hook's); the facts and the verdict
// are read as they are now.
class HookJudge {
  public:
    // How far apart a report and the keystroke Windows makes of it may be (the system's
    // milliseconds).
    static constexpr std::uint32_t ReportWindow = 100;

    // verdict may be null: every press of the chosen devices acts.
    HookJudge(bool everyKeyboard, const HookFacts& facts, const PressVerdict* verdict)
        : everyKeyboard_(everyKeyboard), facts_(facts), verdict_(verdict) {}

    // ours: Quorvel made the keystroke.
    bool Keep(unsigned virtualKey, bool up, bool ours, std::uint32_t time);

  private:
    bool everyKeyboard_;
    const HookFacts& facts_;
    const PressVerdict* verdict_;
    std::bitset<256> kept_;  // the virtual keys whose press was kept
    std::uint32_t epoch_ = 0;
};
