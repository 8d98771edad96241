#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "source/key_reader.h"

// Hands out a fixed list of items, then SourceStopped. onNext runs before each item is
// handed out, where a test can check what the user sees while the source waits. The script
// says when a deadline passes: a TimedOut item in it.
class ScriptedKeySource : public KeyReader {
  public:
    explicit ScriptedKeySource(std::vector<SourceItem> items,
                               std::vector<SourceCondition> setup = {})
        : items_(std::move(items)), setup_(std::move(setup)) {}

    void Open() override { opened = true; }
    std::vector<SourceCondition> Configure() override { return setup_; }
    SourceItem NextBefore(Deadline) override {
        if (onNext) {
            onNext();
        }
        return next_ < items_.size() ? items_[next_++] : SourceItem(SourceStopped{});
    }
    void RequestStop() override {}

    std::size_t consumed() const { return next_; }
    bool opened = false;
    std::function<void()> onNext;

  private:
    std::vector<SourceItem> items_;
    std::vector<SourceCondition> setup_;
    std::size_t next_ = 0;
};

inline SourceItem Press(int code) {
    return KeyEvent{KeyAction::Press, Key::Code(code)};
}
inline SourceItem Repeat(int code) {
    return KeyEvent{KeyAction::Repeat, Key::Code(code)};
}
