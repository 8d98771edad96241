#pragma once

#include <string>
#include <utility>

// What a link last said of its choice of player, so that each line is said once: the same
// line again says nothing until another was said.
class ChoiceReport {
  public:
    // Says line in the player's log, as a warning or as news, unless it was the last said.
    void Say(std::string line, bool warning);
    // Takes line as said without saying it (a change the user asked for).
    void Assume(std::string line) { last_ = std::move(line); }
    const std::string& Last() const { return last_; }

  private:
    std::string last_;
};
