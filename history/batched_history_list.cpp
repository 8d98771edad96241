#include "history/batched_history_list.h"

#include <algorithm>
#include <utility>

// The writes as recorded, replayed by ApplyTo.
void BatchedHistoryList::DeleteLine(int index) {
    Record({Write::Kind::Delete, index, {}});
}

void BatchedHistoryList::InsertLine(int index, const std::string& text) {
    Record({Write::Kind::Insert, index, text});
}

void BatchedHistoryList::Repaint() {
    Record({Write::Kind::Repaint, 0, {}});
}

void BatchedHistoryList::DeleteFirstLines(int count) {
    Record({Write::Kind::DeleteFirst, count, {}});
}

void BatchedHistoryList::ExplainLine(int index, const std::string& why) {
    Record({Write::Kind::Explain, index, why});
}

bool BatchedHistoryList::Full() {
    std::lock_guard lock(mutex_);
    full_ = pending_.size() >= MaxPending;
    return full_;
}

void BatchedHistoryList::OnRoom(std::function<void()> room) {
    std::lock_guard lock(mutex_);
    room_ = std::move(room);
}

void BatchedHistoryList::Record(Write write) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(write));
        if (std::exchange(handOverDue_, true)) {
            return;
        }
    }
    RequestHandOver();
}

bool BatchedHistoryList::ApplyTo(HistoryList& target, bool holdNext, std::size_t most) {
    if (!Behind()) {
        applying_.clear();
        next_ = 0;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                handOverDue_ = false;
                return false;
            }
            applying_.swap(pending_);
            handOverDue_ = holdNext;
            // Told under the lock, so a writer's room cannot go while it runs.
            if (std::exchange(full_, false) && room_) {
                room_();
            }
        }
    }
    for (; Behind() && most > 0; ++next_) {
        Write& write = applying_[next_];
        switch (write.kind) {
            case Write::Kind::Delete:
                target.DeleteLine(write.index);
                break;
            case Write::Kind::Insert:
                target.InsertLine(write.index, write.text);
                break;
            case Write::Kind::Repaint:
                target.Repaint();
                break;
            case Write::Kind::DeleteFirst: {
                const auto lines = static_cast<std::size_t>(std::max(write.index, 0));
                if (lines > most) {
                    target.DeleteFirstLines(static_cast<int>(most));
                    write.index -= static_cast<int>(most);
                    return true;
                }
                target.DeleteFirstLines(write.index);
                most -= lines > 0 ? lines - 1 : 0;  // the one every write counts comes below
                break;
            }
            case Write::Kind::Explain:
                target.ExplainLine(write.index, write.text);
                break;
        }
        --most;
    }
    return true;
}
