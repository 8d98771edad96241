#pragma once

#include <deque>
#include <string>

// The history's lines, in constant time per append or rewrite of the last line however
// long the history grows.
class HistoryModel {
  public:
    int LineCount() const { return static_cast<int>(lines_.size()); }
    const std::string& Line(int index) const { return lines_[static_cast<std::size_t>(index)]; }

    // False (and nothing changes) when index is outside the list.
    bool InsertLine(int index, std::string text);
    bool DeleteLine(int index);

  private:
    std::deque<std::string> lines_;
};
