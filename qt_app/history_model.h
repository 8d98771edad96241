#pragma once

#include <deque>
#include <string>

// The history's lines, each with what explains it (empty for most), in constant time per
// append, rewrite of the last line or removal from the top however long the history grows.
class HistoryModel {
  public:
    int LineCount() const { return static_cast<int>(lines_.size()); }
    const std::string& Line(int index) const { return At(index).text; }
    const std::string& Why(int index) const { return At(index).why; }

    // False (and nothing changes) when index or count is outside the list.
    bool InsertLine(int index, std::string text);
    bool DeleteLine(int index);
    bool DeleteFirstLines(int count);
    bool ExplainLine(int index, std::string why);

  private:
    struct Entry {
        std::string text;
        std::string why;
    };
    const Entry& At(int index) const { return lines_[static_cast<std::size_t>(index)]; }

    std::deque<Entry> lines_;
};
