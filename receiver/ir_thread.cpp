#include "receiver/ir_thread.h"

#include "player/null_player_link.h"
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

void IRThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void IRThread::Execute() {
    std::unique_ptr<PlayerLink> player =
        makePlayer_ ? makePlayer_() : std::make_unique<NullPlayerLink>();

    // The order matters to what the user sees: the greeting goes only once the port is
    // open, and any "Err" lines come first in the new history.
    player->FindPlayerWindow();
    serial_.OpenPort();
    history_.RemoveFirstLine();
    serial_.ConfigurePort();

    SignalCycle cycle(serial_, history_, *player, keys_);
    cycle.Run();
}
