#pragma once

#include <functional>
#include <string>
#include <vector>

#include "history/history_list.h"

// History lines kept in memory, with what explains each (empty when nothing does; a test
// may set lines directly, and whys follows).
// onRepaint runs after every repaint, which is where a test can check the history's shape
// after each write.
class MemoryHistoryList : public HistoryList {
  public:
    explicit MemoryHistoryList(std::vector<std::string> initial = {})
        : lines(std::move(initial)), whys(lines.size()) {}

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;
    void DeleteFirstLines(int count) override;
    void ExplainLine(int index, const std::string& why) override;

    std::vector<std::string> lines;
    std::vector<std::string> whys;
    int repaints = 0;
    std::function<void()> onRepaint;
};
