#include "player/mpris_notifier.h"

#include <gtest/gtest.h>

#include "player/mpris_bus.h"
#include "tests/doubles/loop_turns.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_notifications.h"

namespace {

using Kind = PlayerNews::Kind;
using Clock = MprisNotifier::Clock;

TEST(MprisNotifier, UpdatesInPlaceOnlyTheSameKindBeforeAPause) {
    const Clock::time_point at = Clock::time_point() + std::chrono::hours(1);
    const auto soon = MprisNotifier::HeldKeyPause / 2;
    struct Case {
        std::optional<MprisNotifier::Shown> last;
        Kind kind;
        Clock::duration after;
        bool continues;
    };
    const Case cases[] = {
        {std::nullopt, Kind::Volume, soon, false},
        {MprisNotifier::Shown{Kind::Volume, at}, Kind::Volume, soon, true},
        {MprisNotifier::Shown{Kind::Player, at}, Kind::Player, soon, true},
        {MprisNotifier::Shown{Kind::Volume, at}, Kind::Mute, soon, false},
        {MprisNotifier::Shown{Kind::Player, at}, Kind::Volume, soon, false},
        {MprisNotifier::Shown{Kind::Volume, at}, Kind::Volume, MprisNotifier::HeldKeyPause, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MprisNotifier::Continues(c.last, c.kind, at + c.after), c.continues)
            << static_cast<int>(c.kind) << " after " << c.after.count();
    }
}

// A notifier on its own bus on a loop, beside a stand-in notification server.
class NotifierRig : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Started()) << bus_.Error();
        std::string why;
        mpris_ = MprisBus::Open(*loop_,
                                {[](auto&&...) {}, [](auto&&...) {}, [] {}, [](auto&&...) {}}, why);
        ASSERT_TRUE(mpris_) << why;
    }
    // Turns the loop until nothing sent is unanswered and no news waits.
    void Settle() {
        EXPECT_TRUE(TurnUntil(*loop_, [&] { return notifier_.Idle(); }));
    }

    PrivateBus bus_;
    ScopedVariable address_{"DBUS_SESSION_BUS_ADDRESS", bus_.Address()};
    StandInNotifications server_{bus_};
    std::unique_ptr<EventLoop> loop_ = MakeEventLoop();
    std::unique_ptr<MprisBus> mpris_;
    // An hour: every step here belongs to one held key, however slow the machine.
    MprisNotifier notifier_{std::chrono::hours(1)};
};

// A switch is one notification; a held volume key one that is updated (the same id) at
// every step; steps made while the id is not in yet go out as one, the newest.
TEST_F(NotifierRig, AHeldKeyUpdatesOneNotification) {
    notifier_.Use(mpris_.get());
    notifier_.Show({Kind::Player, "Beta", "The remote is on this player"});
    Settle();
    for (const char* text : {"Volume 55%", "Volume 60%"}) {
        notifier_.Show({Kind::Volume, "Beta", text});
        Settle();
    }
    for (const char* text : {"Volume 65%", "Volume 70%", "Volume 75%"}) {
        notifier_.Show({Kind::Volume, "Beta", text});
    }
    Settle();

    const std::vector<StandInNotification> calls = server_.WaitFor(5);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].summary, "Beta");
    EXPECT_EQ(calls[0].body, "The remote is on this player");
    EXPECT_EQ(calls[1].replacesId, 0u);
    EXPECT_NE(calls[1].id, calls[0].id);
    std::vector<std::string> bodies;
    for (std::size_t i = 1; i < calls.size(); ++i) {
        bodies.push_back(calls[i].body);
        EXPECT_EQ(calls[i].id, calls[1].id) << i;
    }
    EXPECT_EQ(bodies,
              (std::vector<std::string>{"Volume 55%", "Volume 60%", "Volume 65%", "Volume 75%"}));
}

// News that waited on a call the server failed (a time-out) goes out all the same: the
// last state wins over one the server shows late.
TEST_F(NotifierRig, NewsWaitingOnAFailedCallStillGoesOut) {
    server_.FailNext(1);
    notifier_.Use(mpris_.get());
    notifier_.Show({Kind::Mute, "Beta", "Muted"});
    notifier_.Show({Kind::Mute, "Beta", "Unmuted: volume 40%"});
    Settle();
    const std::vector<StandInNotification> calls = server_.WaitFor(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].body, "Muted");
    EXPECT_EQ(calls[1].body, "Unmuted: volume 40%");
    EXPECT_EQ(calls[1].replacesId, 0u);
}

}  // namespace
