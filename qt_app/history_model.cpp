#include "qt_app/history_model.h"

#include <utility>

bool HistoryModel::InsertLine(int index, std::string text) {
    if (index < 0 || index > LineCount()) {
        return false;
    }
    lines_.insert(lines_.begin() + index, Entry{std::move(text), {}});
    return true;
}

bool HistoryModel::DeleteLine(int index) {
    if (index < 0 || index >= LineCount()) {
        return false;
    }
    lines_.erase(lines_.begin() + index);
    return true;
}

bool HistoryModel::DeleteFirstLines(int count) {
    if (count < 0 || count > LineCount()) {
        return false;
    }
    lines_.erase(lines_.begin(), lines_.begin() + count);
    return true;
}

bool HistoryModel::ExplainLine(int index, std::string why) {
    if (index < 0 || index >= LineCount()) {
        return false;
    }
    lines_[static_cast<std::size_t>(index)].why = std::move(why);
    return true;
}
