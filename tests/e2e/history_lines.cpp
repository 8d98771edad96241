#include "tests/e2e/history_lines.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <algorithm>

bool HistoryLines::ReadUntil(const std::function<bool(const Lines&)>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    Take();
    while (!done(lines_) && !deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(
            static_cast<int>(std::min<qint64>(100, deadline.remainingTime())));
        Take();
    }
    Take();
    return done(lines_);
}

long HistoryLines::WaitForLine(const std::string& text, std::size_t from, int timeoutMs) {
    long found = -1;
    ReadUntil(
        [&](const Lines& lines) {
            for (std::size_t i = from; i < lines.size(); ++i) {
                if (lines[i] == text) {
                    found = static_cast<long>(i);
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

void HistoryLines::Take() {
    partial_ += process_.readAllStandardOutput();
    qsizetype start = 0;
    for (qsizetype end = partial_.indexOf('\n'); end >= 0; end = partial_.indexOf('\n', start)) {
        lines_.emplace_back(partial_.constData() + start, static_cast<std::size_t>(end - start));
        start = end + 1;
    }
    partial_.remove(0, start);
}
