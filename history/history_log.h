#pragma once

#include <string>

#include "history/history_list.h"

// The receiver's three writes to the history. LineIndex is the index of the last line
// written; from the first RemoveFirstLine on, the list holds LineIndex + 1 lines.
// Only the receiver thread calls these.
class HistoryLog {
  public:
    explicit HistoryLog(HistoryList& list) : historyList_(list) {}

    // Drops the window's greeting line. Deliberately no repaint: the list shows it at its
    // next ordinary redraw.
    void RemoveFirstLine();
    void AppendLine(const std::string& text);
    void ReplaceLastLine(const std::string& text);

    int LineIndex() const { return lineIndex_; }

  private:
    HistoryList& historyList_;
    int lineIndex_ = -1;
};
