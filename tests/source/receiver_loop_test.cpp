#include "source/receiver_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/doubles/blocked_call.h"
#include "tests/doubles/fake_event_loop.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/hostile_names.h"
#include "tests/doubles/source_loop.h"

namespace {

KeyEvent Held(int code) {
    return KeyEvent{KeyAction::Repeat, Key::Code(code)};
}

struct Rig {
    explicit Rig(int sources = 1, std::size_t perTurn = static_cast<std::size_t>(-1)) {
        std::vector<std::unique_ptr<KeySource>> owned;
        for (int i = 0; i < sources; ++i) {
            auto source = std::make_unique<FedKeySource>(std::vector<SourceCondition>{}, perTurn);
            fed.push_back(source.get());
            owned.push_back(std::move(source));
        }
        reader = std::make_unique<ReceiverLoop>(std::move(owned));
        StartReader(*reader);
    }
    KeyEvent NextEvent() { return std::get<KeyEvent>(reader->NextBefore(Soon())); }
    std::vector<FedKeySource*> fed;
    std::unique_ptr<ReceiverLoop> reader;
};

// A source that goes on setting up on the loop until `until` (a broker's first attempt), and
// fails there at `fails`, if ever.
class SettlingSource : public FedKeySource {
  public:
    SettlingSource(EventLoop::TimePoint until, std::optional<EventLoop::TimePoint> fails)
        : until_(until), fails_(fails) {}
    void Attach(EventLoop& loop, SourceOutput& out) override {
        FedKeySource::Attach(loop, out);
        timer_ = loop.MakeTimer([this] { failed_ = true; });
        if (fails_) {
            timer_->Set(*fails_);
        }
    }
    std::optional<EventLoop::TimePoint> SettlingUntil() const override {
        return settled_ || failed_ ? std::nullopt : std::optional(until_);
    }
    std::vector<SourceCondition> Settle() override {
        settled_ = true;
        return failed_ ? std::vector<SourceCondition>{{SourceCondition::Kind::Absent, "not there"}}
                       : std::vector<SourceCondition>{};
    }
    bool settled_ = false;

  private:
    EventLoop::TimePoint until_;
    std::optional<EventLoop::TimePoint> fails_;
    std::unique_ptr<EventLoop::Timer> timer_;
    bool failed_ = false;
};

// A source still setting up on the loop is waited for, and its failure said with the setup's
// failures; but the wait never holds up another source's key.
TEST(ReceiverLoop, AwaitsASourceSettingUpOnTheLoopButNeverPastAKey) {
    for (const bool pressed : {false, true}) {
        const auto until = Soon();
        auto owned = std::make_unique<SettlingSource>(
            until, pressed ? std::nullopt
                           : std::optional(std::chrono::steady_clock::now() +
                                           std::chrono::milliseconds(20)));
        SettlingSource& settling = *owned;
        auto fed = std::make_unique<FedKeySource>();
        if (pressed) {
            fed->Push({KeyEvent{KeyAction::Press, Key::Code(0x18)}});
        }
        std::vector<std::unique_ptr<KeySource>> sources;
        sources.push_back(std::move(owned));
        sources.push_back(std::move(fed));
        ReceiverLoop reader(std::move(sources));
        EXPECT_EQ(StartReader(reader),
                  pressed ? std::vector<std::string>{} : std::vector<std::string>{"not there"});
        EXPECT_TRUE(settling.settled_);
        EXPECT_LT(std::chrono::steady_clock::now(), until) << "the key waited for the setup";
        if (pressed) {
            EXPECT_EQ(ItemText(reader.NextBefore(Soon())), "down 24");
        }
    }
}

// Each event says whether it was waiting when asked for, and whether more of its own
// source's waited behind it; another source's does not count.
TEST(ReceiverLoop, SaysWhatWasWaiting) {
    Rig rig(2);
    rig.fed[0]->Push({Held(0xB0), Held(0xB0)});
    rig.fed[1]->Push({Held(0x70)});
    std::vector<std::pair<bool, bool>> seen;  // queued, more
    for (int i = 0; i < 3; ++i) {
        const KeyEvent event = rig.NextEvent();
        if (event.key == Key::Code(0xB0)) {
            seen.emplace_back(event.queued, event.more);
        }
    }
    // Two that come in one read while the loop waits: neither waited, even the second,
    // taken after whatever the caller did with the first.
    BlockedCall<KeyEvent> waiting([&rig] { return std::get<KeyEvent>(rig.reader->Next()); });
    ASSERT_TRUE(waiting.Idle());
    rig.fed[0]->Push({Held(0xB0), Held(0xB0)});
    for (const KeyEvent& event : {waiting.Get(), rig.NextEvent()}) {
        seen.emplace_back(event.queued, event.more);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<bool, bool>>{
                        {true, true}, {true, false}, {false, true}, {false, false}}));
}

// A source read an item a turn (MQTT): all that waited says so, however many turns it takes.
TEST(ReceiverLoop, SaysWhatWaitedOfASourceReadAnItemATurn) {
    Rig rig(1, 1);
    rig.fed[0]->Push({Held(0xB0), Held(0xB0), Held(0xB0)});
    std::vector<std::pair<bool, bool>> seen;  // queued, more
    for (int i = 0; i < 3; ++i) {
        const KeyEvent event = rig.NextEvent();
        seen.emplace_back(event.queued, event.more);
    }
    EXPECT_EQ(seen,
              (std::vector<std::pair<bool, bool>>{{true, true}, {true, true}, {true, false}}));
}

// A wake-up ends a wait with TimedOut, and a stop ends every wait from then on.
TEST(ReceiverLoop, AWakeUpTimesOutAndAStopStops) {
    Rig rig;
    std::thread waker([&rig] { rig.reader->Wake(); });
    EXPECT_EQ(ItemText(rig.reader->Next()), "timed out");
    waker.join();
    rig.fed[0]->Push({Held(0x60)});
    rig.reader->RequestStop();
    EXPECT_EQ(ItemText(rig.reader->Next()), "stopped");
    EXPECT_EQ(ItemText(rig.reader->Next()), "stopped");
}

// A key event is passed on only when its caller says so, to every source but its own, with
// its source's kind.
TEST(ReceiverLoop, PassesOnOnlyWhatItsCallerPasses) {
    struct Passing : FedKeySource {
        std::string_view Kind() const override { return "passing"; }
        void Publish(const KeyEvent& event, std::string_view kind) override {
            published.push_back(std::string(kind) + " " + event.key.Text());
        }
        std::vector<std::string> published;
    };
    std::vector<std::unique_ptr<KeySource>> owned;
    auto passing = std::make_unique<Passing>();
    auto fed = std::make_unique<FedKeySource>();
    Passing& broker = *passing;
    FedKeySource& other = *fed;
    owned.push_back(std::move(passing));
    owned.push_back(std::move(fed));
    ReceiverLoop reader(std::move(owned));
    StartReader(reader);
    other.Push({Held(5)});
    reader.Pass(std::get<KeyEvent>(reader.NextBefore(Soon())));
    broker.Push({Held(6)});
    reader.Pass(std::get<KeyEvent>(reader.NextBefore(Soon())));
    other.Push({Held(7)});
    reader.NextBefore(Soon());  // taken, never passed: learnt
    EXPECT_EQ(broker.published, std::vector<std::string>{" 5"});
}

TEST(Key, NamesReadFromOutsideKeepOneRule) {
    for (const std::string& name : HostileNames()) {
        std::string why;
        EXPECT_FALSE(Key::FromName(name, why)) << name;
        EXPECT_FALSE(why.empty());
    }
    std::string why;
    for (const std::string& name :
         std::vector<std::string>{"KEY_OK", "Lautst\xc3\xa4rke +", std::string(64, 'K')}) {
        EXPECT_TRUE(Key::FromName(name, why)) << why;
    }
}

// A source that cannot set itself up (here, at each of its steps; at Attach, a timer that
// cannot be made, as with descriptors short) is left out with why, and the others go on.
TEST(ReceiverLoop, ASourceThatCannotBeSetUpIsLeftOutAndTheOthersGoOn) {
    struct Failing : FedKeySource {
        explicit Failing(std::string step) : step(std::move(step)) {}
        void Open() override { Fail("Open"); }
        std::vector<SourceCondition> Configure() override {
            Fail("Configure");
            return {};
        }
        void Attach(EventLoop& loop, SourceOutput& out) override {
            FedKeySource::Attach(loop, out);
            timer = loop.MakeTimer([] {});
        }
        std::vector<SourceCondition> Settle() override {
            Fail("Settle");
            return {};
        }
        std::string_view Kind() const override { return "failing"; }
        void Fail(const std::string& now) {
            if (now == step) {
                throw std::runtime_error(step + " broke");
            }
        }
        std::string step;
        std::unique_ptr<EventLoop::Timer> timer;
    };
    const std::string left = "the failing source could not be set up (";
    const struct {
        const char* step;
        std::string why;
    } cases[] = {
        {"Open", left + "Open broke); it is left out"},
        {"Configure", left + "Configure broke); it is left out"},
        {"Attach", left + "timerfd_create: Too many open files); it is left out"},
        {"Settle", left + "Settle broke); it is left out"},
    };
    for (const auto& c : cases) {
        auto loop = std::make_unique<FakeEventLoop>();
        loop->refuseTimers = std::string(c.step) == "Attach";
        std::vector<std::unique_ptr<KeySource>> owned;
        auto fed = std::make_unique<FedKeySource>();
        FedKeySource& other = *fed;
        owned.push_back(std::make_unique<Failing>(c.step));
        owned.push_back(std::move(fed));
        ReceiverLoop reader(std::move(owned), std::move(loop));
        EXPECT_EQ(StartReader(reader), std::vector<std::string>{c.why}) << c.step;
        other.Push({Held(0x60)});
        EXPECT_EQ(NextText(reader), "held 96") << c.step;
    }
}

}  // namespace
