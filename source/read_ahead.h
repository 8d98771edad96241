#pragma once

#include <deque>
#include <optional>

#include "source/key_source.h"

// What a source has read ahead of its caller (a read brings several events, a hotplug an
// event and a condition), handed out in order. Each key event handed out says whether it
// was waiting when the caller asked (so a hold's repeats queued behind a slow player act
// once at most) and whether more waits behind it. Used on the source's thread.
class ReadAhead {
  public:
    bool Empty() const { return items_.empty(); }
    void Push(SourceItem item) { items_.push_back(std::move(item)); }

    // The next item, if any. waiting: whether input was waiting when the caller asked;
    // inputWaiting: whether the device has input not yet read.
    template <typename InputWaiting>
    std::optional<SourceItem> Take(bool waiting, InputWaiting inputWaiting) {
        if (items_.empty()) {
            return std::nullopt;
        }
        SourceItem item = std::move(items_.front());
        items_.pop_front();
        if (auto* event = std::get_if<KeyEvent>(&item)) {
            event->queued = waiting;
            event->more = !items_.empty() || inputWaiting();
        }
        return item;
    }

  private:
    std::deque<SourceItem> items_;
};
