#include "player/mpris_notifier.h"

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include "player/mpris_bus.h"
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

// A switch is one notification; a held volume key one that is updated (the same id) at
// every step; steps made while the id is not in yet go out as one, the newest.
TEST(MprisNotifier, AHeldKeyUpdatesOneNotification) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInNotifications server(bus);
    MprisBusLock lock;
    MprisBus mpris(sdbus::createSessionBusConnectionWithAddress(bus.Address()),
                   std::chrono::seconds(30), {[](auto&&...) {}, [](auto&&...) {}}, lock);
    std::unique_lock held(lock.mutex);
    // An hour: every step here belongs to one held key, however slow the machine.
    MprisNotifier notifier(std::chrono::hours(1));
    notifier.Use(&mpris);
    const auto settle = [&] {
        EXPECT_TRUE(mpris.RunUntil(held, Clock::now() + std::chrono::seconds(30),
                                   [&] { return notifier.Idle(); }));
    };
    notifier.Show({Kind::Player, "Beta", "The remote is on this player"});
    settle();
    for (const char* text : {"Volume 55%", "Volume 60%"}) {
        notifier.Show({Kind::Volume, "Beta", text});
        settle();
    }
    for (const char* text : {"Volume 65%", "Volume 70%", "Volume 75%"}) {
        notifier.Show({Kind::Volume, "Beta", text});
    }
    settle();

    const std::vector<StandInNotification> calls = server.WaitFor(5);
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
TEST(MprisNotifier, NewsWaitingOnAFailedCallStillGoesOut) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInNotifications server(bus);
    server.FailNext(1);
    MprisBusLock lock;
    MprisBus mpris(sdbus::createSessionBusConnectionWithAddress(bus.Address()),
                   std::chrono::seconds(30), {[](auto&&...) {}, [](auto&&...) {}}, lock);
    std::unique_lock held(lock.mutex);
    MprisNotifier notifier(std::chrono::hours(1));
    notifier.Use(&mpris);
    notifier.Show({Kind::Mute, "Beta", "Muted"});
    notifier.Show({Kind::Mute, "Beta", "Unmuted: volume 40%"});
    EXPECT_TRUE(mpris.RunUntil(held, Clock::now() + std::chrono::seconds(30),
                               [&] { return notifier.Idle(); }));
    const std::vector<StandInNotification> calls = server.WaitFor(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].body, "Muted");
    EXPECT_EQ(calls[1].body, "Unmuted: volume 40%");
    EXPECT_EQ(calls[1].replacesId, 0u);
}

}  // namespace
