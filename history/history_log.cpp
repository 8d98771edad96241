#include "history/history_log.h"

void HistoryLog::RemoveFirstLine() {
    if (!greetingRemoved_) {
        greetingRemoved_ = true;
        historyList_.DeleteLine(0);
    }
}

void HistoryLog::AppendLine(const std::string& text, const std::string& why) {
    if (lineIndex_ + 1 == MaxLines) {
        historyList_.DeleteFirstLines(TrimLines);
        lineIndex_ -= TrimLines;
        dropped_ += TrimLines;
    }
    ++lineIndex_;
    historyList_.InsertLine(lineIndex_, text);
    if (!why.empty()) {
        historyList_.ExplainLine(lineIndex_, why);
    }
    historyList_.Repaint();
}

void HistoryLog::ReplaceLastLine(const std::string& text, const std::string& why) {
    // Before anything was appended there is no last line of ours to replace; touching
    // index -1 would corrupt whatever list sits underneath.
    if (lineIndex_ < 0) {
        AppendLine(text, why);
        return;
    }
    historyList_.DeleteLine(lineIndex_);
    historyList_.InsertLine(lineIndex_, text);
    if (!why.empty()) {
        historyList_.ExplainLine(lineIndex_, why);
    }
    historyList_.Repaint();
}

void HistoryLog::ExplainNumbered(std::uint64_t number, const std::string& why) {
    if (number <= dropped_ || number > LineNumber() || why.empty()) {
        return;
    }
    historyList_.ExplainLine(static_cast<int>(number - dropped_ - 1), why);
}
