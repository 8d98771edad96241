#include "player/mpris_bus.h"

#include <gtest/gtest.h>

#include <optional>

#include "player/mpris_player_proxy.h"
#include "source/receiver_loop.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/loop_turns.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"

namespace {

// A chatty player beside a key stream on one loop: the loop hands the bus a message a turn,
// so keys come through while the player's changes are still being taken in; those changes
// are taken in without a press, and the next command reaches the player.
TEST(MprisBus, AChattyPlayerNeverHoldsUpTheKeys) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    StandInProcess player(bus, {"standin"});
    ASSERT_TRUE(player.Start());
    auto owned = std::make_unique<FedKeySource>();
    FedKeySource& keys = *owned;
    std::vector<std::unique_ptr<KeySource>> sources;
    sources.push_back(std::move(owned));
    ReceiverLoop loop(std::move(sources));
    loop.Configure();

    int changes = 0;
    std::optional<double> heard;
    std::string why;
    const auto mpris = MprisBus::Open(
        *loop.Loop(),
        {[](auto&&...) {},
         [&](const std::string&, const MprisProperties& changed, const auto&) {
             ++changes;
             if (const auto volume = changed.find("Volume"); volume != changed.end()) {
                 heard = std::get<double>(volume->second);
             }
         },
         [] {}, [](auto&&...) {}},
        why);
    ASSERT_TRUE(mpris) << why;
    bool answered = false;
    MprisPlayerProxy(*mpris, player.BusName()).ReadPlayer([&](auto&&...) { answered = true; });
    ASSERT_TRUE(TurnUntil(*loop.Loop(), [&] { return answered; }));

    // The player's thousands of changes wait to be read when the keys come.
    ASSERT_TRUE(player.Do("Chatter"));
    for (int i = 0; i < 3; ++i) {
        keys.Push({KeyEvent{KeyAction::Press, Key::Code(0x60 + i)}});
        EXPECT_TRUE(
            std::holds_alternative<KeyEvent>(loop.NextBefore(ReceiverLoop::Deadline::max())));
        EXPECT_NE(heard, 0.25) << "key " << i << " came after " << changes << " changes";
    }
    EXPECT_TRUE(TurnUntil(*loop.Loop(), [&] { return heard == 0.25; }));

    answered = false;
    MprisPlayerProxy(*mpris, player.BusName())
        .Send(PlayerRequest(PlayerAction::PlayPause), [&](auto&&...) { answered = true; });
    EXPECT_TRUE(TurnUntil(*loop.Loop(), [&] { return answered; }));
    EXPECT_EQ(player.Calls(), std::vector<std::string>{"PlayPause"});
}

}  // namespace
