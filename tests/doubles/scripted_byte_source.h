#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "history/history_log.h"
#include "receiver/byte_source.h"

// Hands out a fixed list of byte values, then reports Stopped. A -1 in the list is a
// failed read: like the serial line, it first writes the error line when given a log.
class ScriptedByteSource : public ByteSource {
  public:
    static constexpr const char* ErrorText = "COM READ ERROR!";

    explicit ScriptedByteSource(std::vector<int> values, HistoryLog* history = nullptr)
        : values_(std::move(values)), history_(history) {}

    int ReadByte() override {
        if (next_ == values_.size()) {
            return Stopped;
        }
        const int value = values_[next_++];
        if (value == ReadFailed && history_ != nullptr) {
            history_->AppendLine(ErrorText);
        }
        return value;
    }

    std::size_t consumed() const { return next_; }

  private:
    std::vector<int> values_;
    HistoryLog* history_;
    std::size_t next_ = 0;
};
