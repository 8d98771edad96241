#pragma once

#include <memory>
#include <string>

#include "history/history_list.h"
#include "receiver/ir_thread.h"
#include "receiver/key_capture.h"

// Owns a history list (the adaptor that carries writes to a window or a console) and the
// one receiver that writes it, and ends them in the one safe order: the receiver is asked
// to stop (which wakes it wherever it waits) and joined, and only then does the list go.
// No receiver can be bound to the list except through Start, so however a caller declares
// its objects, no receiver outlives the list it writes. Used on one thread.
class ReceiverHost {
  public:
    explicit ReceiverHost(std::unique_ptr<HistoryList> list);
    ~ReceiverHost();
    ReceiverHost(const ReceiverHost&) = delete;
    ReceiverHost& operator=(const ReceiverHost&) = delete;

    HistoryList& List() const { return *list_; }
    // The receiver's record button, for the keys window: safe from any thread.
    KeyCapture& Capture() const { return *capture_; }

    // Starts the receiver: the sources reader reads, into List(), their keys bound by keys
    // (which may be replaced while it runs). A history has one writer: a second Start
    // throws std::logic_error. judge, when given, follows the receiver's mode; watch, when
    // given, is made on the receiver's loop and kept while it runs.
    void Start(std::unique_ptr<KeyReader> reader, IRThread::PlayerFactory makePlayer,
               std::shared_ptr<const SharedKeyMap> keys, std::shared_ptr<PressJudge> judge = {},
               IRThread::LoopWatch watch = {});

    // Asks the receiver to stop, then waits for it. Safe to call again.
    void Stop();

  private:
    std::unique_ptr<HistoryList> list_;
    const std::unique_ptr<KeyCapture> capture_ = std::make_unique<KeyCapture>();
    std::shared_ptr<PressJudge> judge_;
    std::unique_ptr<IRThread> thread_;  // after list_, capture_ and judge_: it goes first
};
