#pragma once

#include <functional>
#include <string>
#include <vector>

#include "history/history_list.h"

// History lines kept in memory. onRepaint runs after every repaint, which is where a
// test can check the history's shape after each write.
class MemoryHistoryList : public HistoryList {
  public:
    explicit MemoryHistoryList(std::vector<std::string> initial = {}) : lines(std::move(initial)) {}

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;

    std::vector<std::string> lines;
    int repaints = 0;
    std::function<void()> onRepaint;
};
