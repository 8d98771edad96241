#pragma once

#include <memory>
#include <string>
#include <vector>

#include "history/history_list.h"
#include "receiver/ir_thread.h"

// Owns a history list (the adaptor that carries writes to a window or a console) and the
// receiver threads that write to it, and ends them in the one safe order: every thread is
// asked to stop (which wakes it wherever it waits), all are joined, and only then does the
// list go. No thread can be bound to the list except through Start, so however a caller
// declares its objects, no receiver outlives the list it writes. Used on one thread.
class ReceiverHost {
  public:
    explicit ReceiverHost(std::unique_ptr<HistoryList> list);
    ~ReceiverHost();
    ReceiverHost(const ReceiverHost&) = delete;
    ReceiverHost& operator=(const ReceiverHost&) = delete;

    HistoryList& List() const { return *list_; }

    // Starts a receiver on port that writes List() and keeps it until StopAll.
    void Start(std::string port, IRThread::PlayerFactory makePlayer = {},
               KeyMap keys = KeyMap::Standard());
    // The same with a map that may be replaced while the receiver runs.
    void Start(std::string port, IRThread::PlayerFactory makePlayer,
               std::shared_ptr<const SharedKeyMap> keys);

    // Asks every thread to stop, then waits for all of them. Safe to call again.
    void StopAll();
    int Count() const { return static_cast<int>(threads_.size()); }

  private:
    std::unique_ptr<HistoryList> list_;
    std::vector<std::unique_ptr<IRThread>> threads_;  // after list_: they go first
};
