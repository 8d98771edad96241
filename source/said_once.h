#pragma once

#include <string>
#include <utility>

// What a source last said of a problem of its own, so that each is said once: the same
// problem again is news only once another was said, or the source was well in between.
class SaidOnce {
  public:
    // Whether problem is news; if so it is the one said from now on.
    bool News(std::string problem) {
        if (problem == said_) {
            return false;
        }
        said_ = std::move(problem);
        return true;
    }
    // The source is well: its next problem is news.
    void Clear() { said_.clear(); }
    // A problem has been said since the source was last well.
    bool Any() const { return !said_.empty(); }

  private:
    std::string said_;
};
