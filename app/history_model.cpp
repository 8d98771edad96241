#include "app/history_model.h"

#include <utility>

bool HistoryModel::InsertLine(int index, std::string text) {
    if (index < 0 || index > LineCount()) {
        return false;
    }
    lines_.insert(lines_.begin() + index, std::move(text));
    return true;
}

bool HistoryModel::DeleteLine(int index) {
    if (index < 0 || index >= LineCount()) {
        return false;
    }
    lines_.erase(lines_.begin() + index);
    return true;
}
