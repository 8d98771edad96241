#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/event_loop.h"
#include "source/key_reader.h"

// The receiver's one loop: every key source at once on one EventLoop, whose one wait takes
// in their handles, their timers, the stop wake-up and the caller's deadline. Items are
// handed out in the order they were read. Each key event says whether its input was already
// waiting to be read when the caller asked (so a hold's repeats that queued behind a slow
// player act once at most; what one read brought with an earlier event came before the
// caller's business with it) and whether more of its own source's input waits behind it.
// An outage of one source never holds up another's keys, nor does a source that cannot be
// set up stop the others. Used on the thread that made it, but for RequestStop and Wake.
class ReceiverLoop : public KeyReader {
  public:
    // An item and the index of the source it came from (in the order they were given).
    struct Taken {
        SourceItem item;
        std::size_t source = 0;
    };

    // What follows what the caller makes of the keys besides the sources (Home Assistant's
    // discovery): told each key event passed on, with its source's kind, and each gesture
    // decided, on the loop's thread.
    class Follower {
      public:
        virtual ~Follower() = default;
        virtual void Passed(const KeyEvent& event, std::string_view kind) = 0;
        virtual void Decided(Gesture gesture, const Key& key) = 0;
    };

    explicit ReceiverLoop(std::vector<std::unique_ptr<KeySource>> sources = {},
                          std::unique_ptr<EventLoop> loop = MakeEventLoop());
    ~ReceiverLoop() override;
    ReceiverLoop(const ReceiverLoop&) = delete;
    ReceiverLoop& operator=(const ReceiverLoop&) = delete;

    void Open() override;
    // Every source's conditions, in the sources' order; then they all join the loop, and
    // those that go on setting up there are waited for (Settle). A source that cannot be set
    // up (its Open, Configure, Attach or Settle throws: descriptors short, a timer or a watch
    // that cannot be made) is left out, with why as its condition, and the others go on.
    std::vector<SourceCondition> Configure() override;
    SourceItem NextBefore(Deadline until) override;
    void RequestStop() override;
    // Offers event to every source but the one it came from (KeySource::Publish).
    void Pass(const KeyEvent& event) override;
    void Decided(Gesture gesture, const Key& key) override;

    // A source opened and set up already joins the loop at once; its index.
    std::size_t Attach(std::unique_ptr<KeySource> source);
    // The sources from index from on that go on setting up on the loop (KeySource::
    // SettlingUntil) are waited for, so that what fails there is said with the setup's, until
    // they have settled or their time is up, but never past a key another source has read:
    // their conditions.
    std::vector<SourceCondition> Settle(std::size_t from);
    // The next item and where it came from; TimedOut, once until has passed or on Wake.
    Taken Take(Deadline until);
    // Safe from any thread: the wait under way, or else the next one, ends with TimedOut.
    void Wake();
    // follower is told every key event passed on and gesture decided from now on (one; another
    // takes its place). It goes with the loop, after the sources, before the EventLoop.
    void Follow(std::shared_ptr<Follower> follower) { follower_ = std::move(follower); }

    const std::vector<std::unique_ptr<KeySource>>& Sources() const { return sources_; }
    EventLoop* Loop() override { return loop_.get(); }

  private:
    class Output;
    // Runs what is ready without waiting, until an item is queued (or, with from, one of
    // that source's) or nothing more is ready; bounded, so a flood cannot keep it going.
    void Gather(const std::size_t* from = nullptr);
    bool Queued(std::size_t source) const;
    // Runs a setup step of source; when it throws, why (said in the source's log).
    std::optional<SourceCondition> SetUp(std::size_t source, const std::function<void()>& step);
    bool KeyQueued() const;

    std::unique_ptr<EventLoop> loop_;
    std::vector<std::unique_ptr<KeySource>> sources_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::size_t attached_ = 0;  // the sources that have joined the loop
    std::deque<Taken> queue_;
    std::shared_ptr<Follower> follower_;
    bool waiting_ = false;        // what is read now was waiting when the caller asked
    std::size_t lastSource_ = 0;  // where the last item taken came from
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> woken_{false};
};
