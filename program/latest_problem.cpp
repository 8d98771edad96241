#include "program/latest_problem.h"

#include <utility>

void LatestProblem::Show(const std::string& why, bool notify) {
    Record({why, notify});
}

void LatestProblem::Solved() {
    Record({});
}

void LatestProblem::Record(Change change) {
    const std::lock_guard lock(mutex_);
    const bool problem = !change.problem.empty();
    if (!problem && !showing_) {
        return;
    }
    showing_ = problem;
    if (!std::exchange(due_, std::move(change))) {
        post_();  // one post takes every change made before it runs
    }
}

std::optional<LatestProblem::Change> LatestProblem::Take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(due_, std::nullopt);
}
