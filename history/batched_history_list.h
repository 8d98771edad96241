#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "history/history_list.h"

// A HistoryList whose writes, made on one thread, are applied on another (a window's UI
// thread) in the order made. Each call is recorded under a short lock; when the first write
// of a batch arrives, the subclass is asked to hand the batch over, and the owning thread
// takes it with TakeWrites. The writer never waits for the owner, except when the owner
// is far behind (MaxPending writes waiting, a flood of bytes): then it waits for room, so
// memory stays bounded and the owner keeps up with its own events, until StopWaiting.
class BatchedHistoryList : public HistoryList {
  public:
    struct Write {
        enum class Kind { Delete, Insert, Repaint, DeleteFirst, Explain };
        Kind kind;
        int index;  // the line, or the count for DeleteFirst
        std::string text;
    };

    static constexpr std::size_t MaxPending = 8192;

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;
    void DeleteFirstLines(int count) override;
    void ExplainLine(int index, const std::string& why) override;
    void StopWaiting() override;

  protected:
    // On the writer's thread, outside the lock: have the owning thread call TakeWrites
    // soon, without waiting for it.
    virtual void RequestHandOver() = 0;

    // On the owning thread: moves the writes waiting, in order, into batch (which it
    // empties first); false when there were none. With holdNext the next writes only join
    // the next batch, which the owner takes when it chooses, until a take finds none;
    // without it the next write asks for a hand-over again.
    bool TakeWrites(std::vector<Write>& batch, bool holdNext);

  private:
    void Record(Write write);

    std::mutex mutex_;
    std::condition_variable room_;
    std::vector<Write> pending_;  // guarded by mutex_
    bool handOverDue_ = false;    // guarded by mutex_
    bool neverWait_ = false;      // guarded by mutex_
};
