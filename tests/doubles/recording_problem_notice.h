#pragma once

#include <string>
#include <vector>

#include "actions/problem_notice.h"

// Records each problem shown ("!" before one to notify of) and each Solved (an empty entry).
class RecordingProblemNotice : public ProblemNotice {
  public:
    void Show(const std::string& why, bool notify) override {
        shown.push_back((notify ? "!" : "") + why);
    }
    void Solved() override { shown.emplace_back(); }

    std::vector<std::string> shown;
};
