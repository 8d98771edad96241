#pragma once

#include <QByteArray>
#include <functional>
#include <string>
#include <vector>

class QProcess;

// The history lines quorvel --console prints into a pipe, read as they come.
class HistoryLines {
  public:
    using Lines = std::vector<std::string>;

    explicit HistoryLines(QProcess& process) : process_(process) {}

    // Reads until done(lines) holds, the program has ended or timeoutMs passed; returns
    // done(lines).
    bool ReadUntil(const std::function<bool(const Lines&)>& done, int timeoutMs);
    // Waits for a line equal to text at or after index from; its index, or -1.
    long WaitForLine(const std::string& text, std::size_t from, int timeoutMs);

    const Lines& All() const { return lines_; }

  private:
    void Take();

    QProcess& process_;
    QByteArray partial_;
    Lines lines_;
};
