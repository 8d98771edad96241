#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "actions/problem_notice.h"

// The problem a window's tray icon shows, carried from whichever thread met it to the
// window's: each change is kept under a lock and post asks the window's thread, once until it
// has taken it, to Take the latest. So the text crosses threads under the lock, never inside
// the posted call, and a burst of problems costs one post. Solved when nothing is shown
// posts nothing.
class LatestProblem : public ProblemNotice {
  public:
    struct Change {
        std::string problem;  // empty: solved, the tray's own tooltip again
        bool notify = false;  // also as a notification (ProblemNotice::Show)
    };

    // post: called from any thread, must not wait (a queued call, a posted message).
    explicit LatestProblem(std::function<void()> post) : post_(std::move(post)) {}

    void Show(const std::string& why, bool notify) override;
    void Solved() override;

    // On the window's thread: the latest change since the last Take; none when nothing
    // changed.
    std::optional<Change> Take();

  private:
    void Record(Change change);

    const std::function<void()> post_;
    std::mutex mutex_;
    std::optional<Change> due_;  // guarded by mutex_
    bool showing_ = false;       // a problem is shown or due; guarded by mutex_
};
