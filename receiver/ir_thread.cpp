#include "receiver/ir_thread.h"

#include "player/null_player_link.h"
#include "receiver/receiver_log.h"
#include "receiver/signal_cycle.h"

IRThread::IRThread(HistoryList& historyList, std::string port, PlayerFactory makePlayer,
                   KeyMap keys)
    : history_(historyList),
      serial_(std::move(port), history_),
      makePlayer_(std::move(makePlayer)),
      keys_(std::move(keys)) {}

IRThread::~IRThread() {
    RequestStop();
    Join();
}

void IRThread::Resume() {
    if (!resumed_) {
        resumed_ = true;
        thread_ = std::thread([this] { Execute(); });
    }
}

void IRThread::RequestStop() {
    history_.StopWaiting();
    serial_.RequestStop();
    std::lock_guard lock(playerMutex_);
    stopping_ = true;
    if (player_ != nullptr) {
        player_->Interrupt();
    }
}

void IRThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void IRThread::Execute() {
    // Outlives the try, so that a stop never reaches a link already gone.
    std::unique_ptr<PlayerLink> player;
    try {
        player = makePlayer_ ? makePlayer_() : std::make_unique<NullPlayerLink>();
        {
            std::lock_guard lock(playerMutex_);
            player_ = player.get();
            if (stopping_) {
                player_->Interrupt();
            }
        }
        Run(*player);
    } catch (const std::exception& error) {
        // Nothing to carry it to: the history and the port stay as they are, and it is said.
        QUORVEL_WARNING(lcReceiver) << "the receiver stopped: " << error.what();
    }
    std::lock_guard lock(playerMutex_);
    player_ = nullptr;
}

void IRThread::Run(PlayerLink& player) {
    // The order matters to what the user sees: the greeting goes only once the port is
    // open, and any "Err" lines come first in the new history.
    player.FindPlayerWindow();
    serial_.OpenPort();
    history_.RemoveFirstLine();
    serial_.ConfigurePort();

    SignalCycle cycle(serial_, history_, player, keys_);
    cycle.Run();
}
