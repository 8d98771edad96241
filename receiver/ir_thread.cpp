#include "receiver/ir_thread.h"

#include <exception>
#include <optional>

#include "log/exception_text.h"
#include "receiver/remote_log.h"
#include "receiver/signal_cycle.h"
#include "source/read_backoff.h"

namespace {

// The link of a receiver made without one: keys go to no player.
class NoPlayerLink : public PlayerLink {
  public:
    void Perform(const PlayerRequest& /*request*/, const PlayerChoice& /*choice*/) override {}
};

}  // namespace

IRThread::IRThread(HistoryList& historyList, std::unique_ptr<KeyReader> source,
                   PlayerFactory makePlayer, std::shared_ptr<const SharedKeyMap> keys,
                   KeyCapture* capture, PressJudge* judge, LoopWatch watch, ProblemNotice* notice)
    : history_(historyList),
      source_(std::move(source)),
      makePlayer_(std::move(makePlayer)),
      keys_(std::move(keys)),
      capture_(capture),
      judge_(judge),
      notice_(notice),
      makeWatch_(std::move(watch)),
      ownLoop_(source_->Loop() == nullptr ? MakeEventLoop() : nullptr),
      loop_(ownLoop_ ? *ownLoop_ : *source_->Loop()),
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
    source_->RequestStop();
    loop_.Wake();
    {
        std::lock_guard lock(playerMutex_);
        if (player_ != nullptr) {
            player_->Interrupt();
        }
    }
}

void IRThread::Execute(std::stop_token stop) {
    // Rung from the window's thread when it has taken in what the history held back.
    history_.OnRoom([this] { loop_.Wake(); });
    // Outlives every pass, so that a stop never reaches a link already gone.
    std::unique_ptr<PlayerLink> player;
    std::unique_ptr<EventLoop::Watch> watch;
    std::optional<SignalCycle> cycle;  // after the link it uses, so it goes first
    bool started = false;
    ReadBackoff backoff;
    bool failureSaid = false;
    for (;;) {
        try {
            if (!player) {
                player = makePlayer_ ? makePlayer_() : std::make_unique<NoPlayerLink>();
            }
            if (!cycle) {
                cycle.emplace(*source_, history_, *player, *keys_);
                cycle->CaptureWith(capture_);
                cycle->JudgeWith(judge_);
                cycle->NoticeWith(notice_);
                cycle->Attach(loop_);
                std::lock_guard lock(playerMutex_);
                player_ = player.get();
                if (stop.stop_requested()) {
                    player_->Interrupt();
                }
            }
            if (!watch && makeWatch_) {
                watch = makeWatch_(loop_);
            }
            if (!started) {
                // Again after a failure, as the history holds none of its lines yet; the
                // greeting goes once only (HistoryLog).
                cycle->Start();
                started = true;
            }
            for (AwaitRoom(stop); cycle->RunOnePass(); AwaitRoom(stop)) {
                backoff.RecordSuccess();  // occasional failures each wait the first wait
            }
            break;  // the cycle ends only when stopped
        } catch (...) {
            if (!failureSaid) {
                QUORVEL_WARNING(lcRemote)
                    << "the receiver failed (" << ExceptionText(std::current_exception())
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
        if (!PauseOnLoop(backoff.NextWait(), stop)) {
            break;
        }
    }
    cycle.reset();
    watch.reset();
    history_.OnRoom({});
    std::lock_guard lock(playerMutex_);
    player_ = nullptr;
}

void IRThread::AwaitRoom(const std::stop_token& stop) {
    // The loop goes on meanwhile: the player's answers and the commands' ends come in.
    while (history_.Full() && !stop.stop_requested()) {
        loop_.RunOnce(EventLoop::TimePoint::max());
    }
}

bool IRThread::PauseOnLoop(std::chrono::milliseconds wait, const std::stop_token& stop) {
    bool due = false;
    const auto timer = loop_.MakeTimer([&due] { due = true; });
    timer->Set(EventLoop::Clock::now() + wait);
    while (!due && !stop.stop_requested()) {
        try {
            loop_.RunOnce(EventLoop::TimePoint::max());
        } catch (...) {
            // Said once already; the pause goes on.
        }
    }
    return !stop.stop_requested();
}
