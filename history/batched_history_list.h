#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "history/history_list.h"

// A HistoryList whose writes, made on one thread, are applied on another (a window's UI
// thread) in the order made. Each call is recorded under a short lock; when the first write
// of a batch arrives, the subclass is asked to hand the batch over, and the owning thread
// applies it with ApplyTo. The writer never waits for the owner; when the owner is far
// behind (MaxPending writes waiting, a flood of bytes) the list is Full, and the writer,
// told when the owner has taken the batch in, holds back meanwhile, so memory stays bounded
// and the owner keeps up with its own events.
class BatchedHistoryList : public HistoryList {
  public:
    static constexpr std::size_t MaxPending = 8192;

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;
    void DeleteFirstLines(int count) override;
    void ExplainLine(int index, const std::string& why) override;
    bool Full() override;
    void OnRoom(std::function<void()> room) override;

  protected:
    // On the writer's thread, outside the lock: have the owning thread call ApplyTo
    // soon, without waiting for it.
    virtual void RequestHandOver() = 0;

    // On the owning thread: applies the writes waiting to target (the lines themselves),
    // in the order they were made; false when there were none. With holdNext the next
    // writes only join the next batch, which the owner takes when it chooses, until an
    // ApplyTo finds none; without it the next write asks for a hand-over again.
    // With most, it applies at most that many writes, a DeleteFirstLines counting as its
    // lines and split when it does not fit, so the owner can share its time in a flood;
    // the rest of the batch comes first at the next ApplyTo (see Behind).
    bool ApplyTo(HistoryList& target, bool holdNext,
                 std::size_t most = std::numeric_limits<std::size_t>::max());

    // On the owning thread: writes of a batch already taken are still to be applied.
    bool Behind() const { return next_ < applying_.size(); }

  private:
    struct Write {
        enum class Kind { Delete, Insert, Repaint, DeleteFirst, Explain };
        Kind kind;
        int index;  // the line, or the count for DeleteFirst
        std::string text;
    };

    void Record(Write write);

    // Owning thread only: the batch taken, which keeps its capacity between batches, and
    // the first of its writes still to apply.
    std::vector<Write> applying_;
    std::size_t next_ = 0;

    std::mutex mutex_;
    std::function<void()> room_;  // guarded by mutex_
    std::vector<Write> pending_;  // guarded by mutex_
    bool handOverDue_ = false;    // guarded by mutex_
    bool full_ = false;           // guarded by mutex_: said Full since the last room
};
