#include "receiver/ir_thread.h"

#include <condition_variable>
#include <exception>

#include "player/null_player_link.h"
#include "receiver/read_backoff.h"
#include "receiver/receiver_log.h"
#include "receiver/signal_cycle.h"

namespace {

std::string Why(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown error";
    }
}

}  // namespace

IRThread::IRThread(HistoryList& historyList, std::string port, PlayerFactory makePlayer,
                   KeyMap keys)
    : IRThread(historyList, std::move(port), std::move(makePlayer),
               std::make_shared<const SharedKeyMap>(std::move(keys))) {}

IRThread::IRThread(HistoryList& historyList, std::string port, PlayerFactory makePlayer,
                   std::shared_ptr<const SharedKeyMap> keys)
    : history_(historyList),
      serial_(std::move(port), history_),
      makePlayer_(std::move(makePlayer)),
      keys_(std::move(keys)),
      wake_(stop_.get_token(), [this] { Wake(); }) {}

IRThread::~IRThread() {
    RequestStop();
    Join();
}

void IRThread::Resume() {
    if (!thread_.joinable()) {
        thread_ = std::jthread([this] { Execute(stop_.get_token()); });
    }
}

void IRThread::RequestStop() {
    stop_.request_stop();
}

void IRThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void IRThread::Wake() {
    history_.StopWaiting();
    serial_.RequestStop();
    {
        std::lock_guard lock(playerMutex_);
        if (player_ != nullptr) {
            player_->Interrupt();
        }
    }
}

void IRThread::Execute(std::stop_token stop) {
    // Outlives every pass, so that a stop never reaches a link already gone.
    std::unique_ptr<PlayerLink> player;
    bool portReady = false;
    ReadBackoff backoff;
    bool failureSaid = false;
    for (;;) {
        try {
            if (!player) {
                player = makePlayer_ ? makePlayer_() : std::make_unique<NullPlayerLink>();
                std::lock_guard lock(playerMutex_);
                player_ = player.get();
                if (stop.stop_requested()) {
                    player_->Interrupt();
                }
            }
            if (!portReady) {
                // The order matters to what the user sees: the greeting goes only once the
                // port is open, and any "Err" lines come first in the new history.
                serial_.OpenPort();
                history_.RemoveFirstLine();
                serial_.ConfigurePort();
                portReady = true;
            }
            SignalCycle(serial_, history_, *player, *keys_).Run();
            break;  // the cycle ends only when stopped
        } catch (...) {
            if (!failureSaid) {
                QUORVEL_WARNING(lcReceiver)
                    << "the receiver failed (" << Why(std::current_exception())
                    << "); it carries on after a pause";
                failureSaid = true;
            }
        }
        if (stop.stop_requested()) {
            break;
        }
        backoff.RecordFailure();
        std::mutex mutex;
        std::unique_lock lock(mutex);
        std::condition_variable_any().wait_for(lock, stop, backoff.NextWait(),
                                               [] { return false; });
    }
    std::lock_guard lock(playerMutex_);
    player_ = nullptr;
}
