#pragma once

#include <functional>
#include <utility>

#include <string>

#include "history/history_list.h"

// The receiver's three writes to the history. LineIndex is the index of the last line
// written; from the first RemoveFirstLine on, the list holds LineIndex + 1 lines. The
// history keeps the most recent MaxLines lines: when an append goes past them, the oldest
// TrimLines are dropped from the top at once. Only the receiver thread writes.
class HistoryLog {
  public:
    static constexpr int MaxLines = 100'000;
    static constexpr int TrimLines = 10'000;

    explicit HistoryLog(HistoryList& list) : historyList_(list) {}

    // Drops the window's greeting line, once: later calls do nothing. Deliberately no
    // repaint: the list shows it at its next ordinary redraw.
    void RemoveFirstLine();
    // why, when given, says what the line reports (see HistoryList::ExplainLine).
    void AppendLine(const std::string& text, const std::string& why = {});
    void ReplaceLastLine(const std::string& text, const std::string& why = {});

    int LineIndex() const { return lineIndex_; }
    // Whether the greeting is still there to remove.
    bool HoldsGreeting() const { return !greetingRemoved_ && historyList_.HoldsGreeting(); }

    // The list's back-pressure (HistoryList::Full, OnRoom).
    bool Full() { return historyList_.Full(); }
    void OnRoom(std::function<void()> room) { historyList_.OnRoom(std::move(room)); }

  private:
    HistoryList& historyList_;
    int lineIndex_ = -1;
    bool greetingRemoved_ = false;
};
