#pragma once

#include <deque>
#include <string>

// The history's lines. The receiver only ever appends or rewrites the last line, which a
// deque does in constant time however long the history grows, without the pause of a
// vector moving millions of lines when it outgrows its buffer.
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
