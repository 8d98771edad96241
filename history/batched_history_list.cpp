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

void BatchedHistoryList::StopWaiting() {
    {
        std::lock_guard lock(mutex_);
        neverWait_ = true;
    }
    room_.notify_all();
}

void BatchedHistoryList::Record(Write write) {
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return pending_.size() < MaxPending || neverWait_; });
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
        }
        room_.notify_all();
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
