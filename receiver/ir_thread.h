#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "actions/player_link.h"
#include "history/history_log.h"
#include "keymap/shared_key_map.h"
#include "receiver/key_capture.h"
#include "receiver/press_judge.h"
#include "source/key_reader.h"

// The receiver's worker thread: makes the player link, attaches it and the cycle's
// commands to the reader's loop, then runs the signal cycle over its key source (which opens the
// source, removes the window's greeting line and sets the source up first) until asked to stop. It
// keeps LineIndex: the history is written only through the HistoryList it was given, which must
// carry the writes to whichever thread owns the lines and must outlive the thread (ReceiverHost
// keeps both and ends them in that order).
//
// The receiver never dies silently: an exception on the thread (the player link's, a
// failed allocation) is said once in the lcRemote log, and after the read back-off the
// receiver carries on where it failed: making the link, setting up the source or reading.
// The back-off starts again from its first wait after each pass that ends well (each pause
// said in the debug log); the signal cycle, with its holds and running commands, is kept
// across failures.
class IRThread {
  public:
    // Makes the player link on the receiver thread, where it is used; it may look its
    // player up there before the port is opened.
    using PlayerFactory = std::function<std::unique_ptr<PlayerLink>()>;
    // Makes something the thread keeps watched on its loop while it runs (the key map's
    // file watch), on the thread, once the loop is there; it goes before the thread ends.
    using LoopWatch = std::function<std::unique_ptr<EventLoop::Watch>(EventLoop& loop)>;

    // Created suspended: nothing runs until Resume. keys says what each key does; it may be
    // replaced while the thread runs (a reload), and each event is decoded by the map in
    // force when it arrives. capture, when given, is offered every key event first
    // (SignalCycle::CaptureWith); judge, when given, is told the mode (SignalCycle::JudgeWith).
    // Both must outlive the thread.
    IRThread(HistoryList& historyList, std::unique_ptr<KeyReader> source, PlayerFactory makePlayer,
             std::shared_ptr<const SharedKeyMap> keys, KeyCapture* capture = nullptr,
             PressJudge* judge = nullptr, LoopWatch watch = {});
    // Stops and joins the thread; the port closes with it.
    ~IRThread();
    IRThread(const IRThread&) = delete;
    IRThread& operator=(const IRThread&) = delete;

    // Starts the thread; later calls do nothing.
    void Resume();

    // Safe from any thread, before or after Resume: wakes the receiver's loop, wherever the
    // thread waits on it (a read, a back-off pause, a history far behind, a player being
    // chosen); the thread then ends.
    void RequestStop();

    // Waits until the thread has ended. Does nothing when it never started or was joined.
    void Join();

  private:
    void Execute(std::stop_token stop);
    // Wakes every wait of the receiver's; the stop callback.
    void Wake();
    // Turns the loop while the history is far behind, until asked to stop.
    void AwaitRoom(const std::stop_token& stop);
    // The back-off after a failure, a timer on the loop; false once asked to stop.
    bool PauseOnLoop(std::chrono::milliseconds wait, const std::stop_token& stop);

    HistoryLog history_;  // LineIndex lives here
    const std::unique_ptr<KeyReader> source_;
    PlayerFactory makePlayer_;
    const std::shared_ptr<const SharedKeyMap> keys_;  // never null
    KeyCapture* const capture_;
    PressJudge* const judge_;
    LoopWatch makeWatch_;
    // The loop every wait of the thread's is on: the reader's, or one of its own for a
    // reader that has none.
    const std::unique_ptr<EventLoop> ownLoop_;
    EventLoop& loop_;
    // The player link while the thread runs, for a stop to interrupt.
    std::mutex playerMutex_;
    PlayerLink* player_ = nullptr;  // guarded by playerMutex_
    std::stop_source stop_;
    std::stop_callback<std::function<void()>> wake_;
    std::jthread thread_;  // last: joined before anything it uses goes
};
