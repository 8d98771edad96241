#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

// What the keyboard hook judges by that only the Raw Input side knows, handed from the
// receiver's thread to the hook's: whether every keyboard there is was chosen, which media
// keys a chosen device's HID report holds or has just let go, and when the presses the hook
// kept are to be forgotten (a device went, the hook was put back). Each fact is an atomic of
// its own, so neither thread ever waits for the other; a fact read a moment late is judged
// as the moment before.
class HookFacts {
  public:
    void SetEveryKeyboardChosen(bool chosen) { everyKeyboardChosen_ = chosen; }
    bool EveryKeyboardChosen() const { return everyKeyboardChosen_; }

    // A report holds the key of virtualKey now, or let it go at ended (the system's
    // milliseconds).
    void SetReport(unsigned virtualKey, bool held, std::optional<std::uint32_t> ended);
    // Whether a report holds the key, or let it go within window of time (either side).
    bool Reporting(unsigned virtualKey, std::uint32_t time, std::uint32_t window) const;

    // The presses the hook kept are forgotten: their releases may never come.
    void ForgetKept() { keptEpoch_.fetch_add(1); }
    // Changes at each ForgetKept.
    std::uint32_t KeptEpoch() const { return keptEpoch_; }

  private:
    static constexpr std::uint64_t Held = std::uint64_t{1} << 33;
    static constexpr std::uint64_t Ended = std::uint64_t{1} << 32;

    std::atomic<bool> everyKeyboardChosen_{false};
    std::atomic<std::uint32_t> keptEpoch_{0};
    // By virtual key: Held, Ended and the time it ended.
    std::array<std::atomic<std::uint64_t>, 256> reports_{};
};
