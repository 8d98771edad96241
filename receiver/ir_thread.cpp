#include "receiver/ir_thread.h"

#include <condition_variable>
#include <exception>
#include <optional>

#include "receiver/remote_log.h"
#include "receiver/signal_cycle.h"
#include "source/read_backoff.h"
#include "source/receiver_loop.h"

namespace {

// The link of a receiver made without one: keys go to no player.
class NoPlayerLink : public PlayerLink {
  public:
    void Perform(const PlayerRequest& /*request*/, const PlayerChoice& /*choice*/) override {}
};

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

IRThread::IRThread(HistoryList& historyList, std::unique_ptr<KeyReader> source,
                   PlayerFactory makePlayer, std::shared_ptr<const SharedKeyMap> keys,
                   KeyCapture* capture, PressJudge* judge)
    : history_(historyList),
      source_(std::move(source)),
      makePlayer_(std::move(makePlayer)),
      keys_(std::move(keys)),
      capture_(capture),
      judge_(judge),
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
    source_->RequestStop();
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
    std::optional<SignalCycle> cycle;  // after the link it uses, so it goes first
    bool started = false;
    ReadBackoff backoff;
    bool failureSaid = false;
    for (;;) {
        try {
            if (!player) {
                player = makePlayer_ ? makePlayer_() : std::make_unique<NoPlayerLink>();
                // The link's own timers and handles join the loop the keys are read on.
                if (auto* loop = dynamic_cast<ReceiverLoop*>(source_.get())) {
                    player->Attach(loop->Loop());
                }
                std::lock_guard lock(playerMutex_);
                player_ = player.get();
                if (stop.stop_requested()) {
                    player_->Interrupt();
                }
            }
            if (!cycle) {
                cycle.emplace(*source_, history_, *player, *keys_);
                cycle->CaptureWith(capture_);
                cycle->JudgeWith(judge_);
            }
            if (!started) {
                // Again after a failure, as the history holds none of its lines yet; the
                // greeting goes once only (HistoryLog).
                cycle->Start();
                started = true;
            }
            while (cycle->RunOnePass()) {
                backoff.RecordSuccess();  // occasional failures each wait the first wait
            }
            break;  // the cycle ends only when stopped
        } catch (...) {
            if (!failureSaid) {
                QUORVEL_WARNING(lcRemote)
                    << "the receiver failed (" << Why(std::current_exception())
                    << "); it carries on after a pause";
                failureSaid = true;
            }
        }
        if (stop.stop_requested()) {
            break;
        }
        backoff.RecordFailure();
        QUORVEL_DEBUG(lcRemote) << "the receiver carries on in " << backoff.NextWait().count()
                                << " ms";
        std::mutex mutex;
        std::unique_lock lock(mutex);
        std::condition_variable_any().wait_for(lock, stop, backoff.NextWait(),
                                               [] { return false; });
    }
    cycle.reset();
    std::lock_guard lock(playerMutex_);
    player_ = nullptr;
}
