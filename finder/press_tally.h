#pragma once

#include <cstddef>
#include <map>
#include <optional>

// Which of several sources a remote's key press came from, when noise on one can hold a
// press by chance: alone, a source's press names it; while more than one source has sent
// anything, a source is named only once two presses have come from it, and a second press
// is asked for. Plain, so its rules are tested alone.
class PressTally {
  public:
    // Something came from source: a key press, or anything else (a stray byte, a repeat).
    void Heard(std::size_t source, bool press) {
        int& presses = presses_.try_emplace(source, 0).first->second;
        if (!press || found_) {
            return;
        }
        // Noise seldom looks like a press twice on the same source.
        if (++presses >= 2 || presses_.size() == 1) {
            found_ = source;
        } else {
            againWanted_ = true;
        }
    }
    const std::optional<std::size_t>& Found() const { return found_; }
    // A press came beside another source's noise: the user should press again.
    bool AgainWanted() const { return againWanted_; }

  private:
    std::map<std::size_t, int> presses_;  // every source heard, with its presses
    std::optional<std::size_t> found_;
    bool againWanted_ = false;
};
