#pragma once

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "history/history_log.h"
#include "player/player_link.h"
#include "receiver/serial_line.h"

// The receiver's worker thread: finds the player, opens and configures the port, then runs
// the signal cycle until asked to stop. It writes the history only through the HistoryList
// it was given, which must carry the writes to whichever thread owns the lines.
class IRThread : public QThread {
  public:
    // Makes the player link on the receiver thread, where it is used.
    using PlayerFactory = std::function<std::unique_ptr<PlayerLink>()>;

    // Created suspended: nothing runs until Resume.
    IRThread(HistoryList& historyList, std::string port, PlayerFactory makePlayer = {});
    // Stops and joins the thread; the port closes with it.
    ~IRThread() override;

    void Resume() { start(); }

    // Safe from any thread: wakes the receiver wherever it waits; the thread then ends.
    void RequestStop() { serial_.RequestStop(); }

    // Waits until the thread has ended; false if the deadline passed first. Use this rather
    // than wait(): it also hands everything the thread wrote back to the caller in a way
    // thread checkers can see, which Qt's own wait does not.
    bool Join(QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

    // Index of the last history line written; read it only after Join.
    int LineIndex() const { return history_.LineIndex(); }

  protected:
    void run() override;

  private:
    void Execute();

    HistoryLog history_;
    SerialLine serial_;
    PlayerFactory makePlayer_;
    std::atomic<bool> finished_{false};
};
