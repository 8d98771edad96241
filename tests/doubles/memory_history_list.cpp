#include "tests/doubles/memory_history_list.h"

#include <stdexcept>

void MemoryHistoryList::DeleteLine(int index) {
    if (index < 0 || index >= static_cast<int>(lines.size())) {
        throw std::out_of_range("DeleteLine: index " + std::to_string(index));
    }
    lines.erase(lines.begin() + index);
}

void MemoryHistoryList::InsertLine(int index, const std::string& text) {
    if (index < 0 || index > static_cast<int>(lines.size())) {
        throw std::out_of_range("InsertLine: index " + std::to_string(index));
    }
    lines.insert(lines.begin() + index, text);
}

void MemoryHistoryList::Repaint() {
    ++repaints;
    if (onRepaint) {
        onRepaint();
    }
}
