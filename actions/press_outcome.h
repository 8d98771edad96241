#pragma once

#include <cstdint>
#include <string>

// What became of a key's action, once its player link knows: it reached a player, or why
// it did not. The press is the one PlayerChoice::press named. Called on the link's thread,
// during Perform or later (a link on a loop learns of it there), at most once an action; it
// must not wait.
class PressOutcome {
  public:
    virtual ~PressOutcome() = default;
    virtual void Reached(std::uint64_t press) = 0;
    virtual void Failed(std::uint64_t press, const std::string& why) = 0;
};
