#pragma once

#include <string>
#include <vector>

// The history's lines, stored compactly: the receiver only ever appends or rewrites the
// last line, so a vector keeps those writes amortised O(1) however long the history grows.
class HistoryModel {
  public:
    int LineCount() const { return static_cast<int>(lines_.size()); }
    const std::string& Line(int index) const { return lines_[static_cast<std::size_t>(index)]; }

    // False (and nothing changes) when index is outside the list.
    bool InsertLine(int index, std::string text);
    bool DeleteLine(int index);

  private:
    std::vector<std::string> lines_;
};
