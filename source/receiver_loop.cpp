#include "source/receiver_loop.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "log/exception_text.h"
#include "log/log_line.h"

namespace {

// What stands in for a source that could not be set up: it reads nothing, and says why, when
// that is still to be said, once the start asks.
class UnusableSource : public KeySource {
  public:
    UnusableSource(const KeySource& failed, std::vector<SourceCondition> untold = {})
        : log_(failed.Log()), kind_(failed.Kind()), untold_(std::move(untold)) {}

    void Open() override {}
    std::vector<SourceCondition> Configure() override { return std::exchange(untold_, {}); }
    void Attach(EventLoop& /*loop*/, SourceOutput& /*out*/) override {}
    const LogCategory& Log() const override { return log_; }
    std::string_view Kind() const override { return kind_; }

  private:
    const LogCategory& log_;
    std::string kind_;
    std::vector<SourceCondition> untold_;
};

}  // namespace

class ReceiverLoop::Output : public SourceOutput {
  public:
    Output(ReceiverLoop& loop, std::size_t source) : loop_(loop), source_(source) {}
    void Put(SourceItem item) override {
        if (auto* event = std::get_if<KeyEvent>(&item)) {
            event->queued = loop_.waiting_;
        }
        loop_.queue_.push_back({std::move(item), source_});
    }

  private:
    ReceiverLoop& loop_;
    std::size_t source_;
};

ReceiverLoop::ReceiverLoop(std::vector<std::unique_ptr<KeySource>> sources,
                           std::unique_ptr<EventLoop> loop)
    : loop_(std::move(loop)), sources_(std::move(sources)) {
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        outputs_.push_back(std::make_unique<Output>(*this, i));
    }
}

ReceiverLoop::~ReceiverLoop() {
    // The sources leave the loop before it goes.
    sources_.clear();
}

void ReceiverLoop::Open() {
    for (std::size_t i = attached_; i < sources_.size(); ++i) {
        if (auto why = SetUp(i, [&] { sources_[i]->Open(); })) {
            // Said where the source's conditions are.
            sources_[i] = std::make_unique<UnusableSource>(
                *sources_[i], std::vector<SourceCondition>{std::move(*why)});
        }
    }
}

std::vector<SourceCondition> ReceiverLoop::Configure() {
    std::vector<SourceCondition> conditions;
    for (std::size_t i = attached_; i < sources_.size(); ++i) {
        auto why = SetUp(i, [&] {
            for (SourceCondition& condition : sources_[i]->Configure()) {
                conditions.push_back(std::move(condition));
            }
        });
        if (why) {
            sources_[i] = std::make_unique<UnusableSource>(*sources_[i]);
            conditions.push_back(std::move(*why));
        }
    }
    const std::size_t first = attached_;
    for (; attached_ < sources_.size(); ++attached_) {
        auto why =
            SetUp(attached_, [&] { sources_[attached_]->Attach(*loop_, *outputs_[attached_]); });
        if (why) {
            // Its handles and timers leave the loop with it.
            sources_[attached_] = std::make_unique<UnusableSource>(*sources_[attached_]);
            conditions.push_back(std::move(*why));
        }
    }
    for (SourceCondition& condition : Settle(first)) {
        conditions.push_back(std::move(condition));
    }
    return conditions;
}

std::vector<SourceCondition> ReceiverLoop::Settle(std::size_t from) {
    for (;;) {
        std::optional<EventLoop::TimePoint> until;
        for (std::size_t i = from; i < sources_.size(); ++i) {
            if (const auto settling = sources_[i]->SettlingUntil()) {
                until = std::max(until.value_or(*settling), *settling);
            }
        }
        if (!until || EventLoop::Clock::now() >= *until || KeyQueued() || stopRequested_) {
            break;
        }
        loop_->RunOnce(*until);
    }
    std::vector<SourceCondition> conditions;
    for (std::size_t i = from; i < sources_.size(); ++i) {
        auto why = SetUp(i, [&] {
            for (SourceCondition& condition : sources_[i]->Settle()) {
                conditions.push_back(std::move(condition));
            }
        });
        if (why) {
            sources_[i] = std::make_unique<UnusableSource>(*sources_[i]);
            conditions.push_back(std::move(*why));
        }
    }
    return conditions;
}

std::optional<SourceCondition> ReceiverLoop::SetUp(std::size_t source,
                                                   const std::function<void()>& step) {
    try {
        step();
        return std::nullopt;
    } catch (...) {
        const KeySource& failed = *sources_[source];
        const std::string kind(failed.Kind());
        SourceCondition why{
            SourceCondition::Kind::CannotOpen,
            (kind.empty() ? std::string("a key source") : "the " + kind + " source") +
                " could not be set up (" + ExceptionText(std::current_exception()) +
                "); it is left out"};
        QUORVEL_WARNING(failed.Log()) << why.reason;
        return why;
    }
}

std::size_t ReceiverLoop::Attach(std::unique_ptr<KeySource> source) {
    const std::size_t index = sources_.size();
    sources_.push_back(std::move(source));
    outputs_.push_back(std::make_unique<Output>(*this, index));
    sources_[index]->Attach(*loop_, *outputs_[index]);
    attached_ = sources_.size();
    return index;
}

bool ReceiverLoop::KeyQueued() const {
    return std::any_of(queue_.begin(), queue_.end(), [](const Taken& taken) {
        return std::holds_alternative<KeyEvent>(taken.item);
    });
}

bool ReceiverLoop::Queued(std::size_t source) const {
    return std::any_of(queue_.begin(), queue_.end(),
                       [source](const Taken& taken) { return taken.source == source; });
}

void ReceiverLoop::Gather(const std::size_t* from) {
    // Each round runs one ready thing, the sources in turn: a few rounds a source let every
    // one of them have its say.
    const std::size_t rounds = 2 * (sources_.size() + 1);
    const auto past = EventLoop::TimePoint::min();
    for (std::size_t round = 0; round < rounds; ++round) {
        if (from != nullptr ? Queued(*from) : !queue_.empty()) {
            return;
        }
        if (!loop_->RunOnce(past)) {
            return;
        }
    }
}

SourceItem ReceiverLoop::NextBefore(Deadline until) {
    return Take(until).item;
}

ReceiverLoop::Taken ReceiverLoop::Take(Deadline until) {
    if (stopRequested_) {
        return {SourceStopped{}};
    }
    // What is there to read now was waiting; what was read before was not, as it came
    // before whatever the caller did since (a player's call).
    waiting_ = true;
    Gather();
    waiting_ = false;
    while (queue_.empty()) {
        if (stopRequested_) {
            return {SourceStopped{}};
        }
        if (woken_.exchange(false) || EventLoop::Clock::now() >= until) {
            return {TimedOut{}};
        }
        loop_->RunOnce(until);
    }
    Taken taken = std::move(queue_.front());
    queue_.pop_front();
    if (auto* event = std::get_if<KeyEvent>(&taken.item)) {
        // What is read behind an event that was waiting was waiting too (a source that
        // reads a message a turn has its backlog read here, a turn at a time); what came
        // with one that was not, came before the caller's business with it.
        waiting_ = event->queued;
        Gather(&taken.source);
        waiting_ = false;
        event->more = Queued(taken.source);
    }
    lastSource_ = taken.source;
    return taken;
}

void ReceiverLoop::Pass(const KeyEvent& event) {
    // What one source read never goes back to it.
    const std::string_view kind = sources_[lastSource_]->Kind();
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        if (i != lastSource_) {
            sources_[i]->Publish(event, kind);
        }
    }
    if (follower_) {
        follower_->Passed(event, kind);
    }
}

void ReceiverLoop::Decided(Gesture gesture, const Key& key) {
    if (follower_) {
        follower_->Decided(gesture, key);
    }
}

void ReceiverLoop::RequestStop() {
    stopRequested_ = true;
    loop_->Wake();
}

void ReceiverLoop::Wake() {
    woken_ = true;
    loop_->Wake();
}
