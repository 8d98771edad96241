#include "player/mpris_bus.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/doubles/eventually.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"

namespace {

MprisBus::Deadline Patiently() {
    return std::chrono::steady_clock::now() + std::chrono::seconds(30);
}

// A chatty player's changes made while no key is pressed are taken in as they come, not
// left to pile up in the bus daemon; and the next press reaches it.
TEST(MprisBus, TakesInAChattyPlayersChangesWithoutAPress) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInProcess player(bus, {"standin"});
    ASSERT_TRUE(player.Start());
    MprisBusLock lock;
    std::optional<double> heard;  // under lock.mutex
    MprisBus mpris(sdbus::createSessionBusConnectionWithAddress(bus.Address()),
                   std::chrono::seconds(30),
                   {[](auto&&...) {},
                    [&](const std::string&, const MprisBus::Properties& changed, const auto&) {
                        if (const auto volume = changed.find("Volume"); volume != changed.end()) {
                            heard = volume->second.get<double>();
                        }
                    }},
                   lock);
    bool answered = false;
    {
        std::unique_lock held(lock.mutex);
        ASSERT_TRUE(mpris.LearnNames(held, Patiently()));
        mpris.ReadPlayer(player.BusName(), [&](auto&&...) { answered = true; });
        ASSERT_TRUE(mpris.RunUntil(held, Patiently(), [&] { return answered; }));
    }

    ASSERT_TRUE(player.Do("Chatter"));
    EXPECT_TRUE(Eventually([&] {
        const std::lock_guard held(lock.mutex);
        return heard == 0.25;
    }));

    std::unique_lock held(lock.mutex);
    answered = false;
    mpris.Player(player.BusName()).Send(PlayerRequest(PlayerAction::PlayPause), [&](auto&&...) {
        answered = true;
    });
    EXPECT_TRUE(mpris.RunUntil(held, Patiently(), [&] { return answered; }));
    EXPECT_EQ(player.Calls(), std::vector<std::string>{"PlayPause"});
}

}  // namespace
