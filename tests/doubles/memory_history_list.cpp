#include "tests/doubles/memory_history_list.h"

#include <stdexcept>

namespace {

void Check(bool inside, const char* what, int index) {
    if (!inside) {
        throw std::out_of_range(std::string(what) + ": index " + std::to_string(index));
    }
}

}  // namespace

void MemoryHistoryList::DeleteLine(int index) {
    whys.resize(lines.size());
    Check(index >= 0 && index < static_cast<int>(lines.size()), "DeleteLine", index);
    lines.erase(lines.begin() + index);
    whys.erase(whys.begin() + index);
}

void MemoryHistoryList::InsertLine(int index, const std::string& text) {
    whys.resize(lines.size());
    Check(index >= 0 && index <= static_cast<int>(lines.size()), "InsertLine", index);
    lines.insert(lines.begin() + index, text);
    whys.insert(whys.begin() + index, std::string());
}

void MemoryHistoryList::Repaint() {
    ++repaints;
    if (onRepaint) {
        onRepaint();
    }
}

void MemoryHistoryList::DeleteFirstLines(int count) {
    whys.resize(lines.size());
    Check(count >= 0 && count <= static_cast<int>(lines.size()), "DeleteFirstLines", count);
    lines.erase(lines.begin(), lines.begin() + count);
    whys.erase(whys.begin(), whys.begin() + count);
}

void MemoryHistoryList::ExplainLine(int index, const std::string& why) {
    whys.resize(lines.size());
    Check(index >= 0 && index < static_cast<int>(lines.size()), "ExplainLine", index);
    whys[static_cast<std::size_t>(index)] = why;
}
