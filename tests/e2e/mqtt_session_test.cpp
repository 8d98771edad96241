// Two Quorvels on one broker: one reads a serial receiver and publishes its keys, the other
// reads the broker and commands its player. Each key acts once on each machine, and no key
// goes round twice, though both publish; a Tasmota bridge's code acts through a key map.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "tests/doubles/eventually.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"
#include "tests/mqtt/mosquitto_rig.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

namespace {

using Lines = std::vector<std::string>;

// The lines a console printed that come from keys, once there are count of them.
Lines Shown(ChildProcess& quorvel, std::size_t count) {
    Lines said;
    for (std::size_t seen = 0;
         said.size() < count && quorvel.WaitForLines(seen + 1, Deadline) > seen; ++seen) {
        const std::string text = quorvel.Lines(seen).front().text;
        if (text != "Waiting for new signal...") {
            said.push_back(text);
        }
    }
    return said;
}

TEST(MqttSession, OneMachinesSerialKeyActsOnceOnAnothersPlayer) {
    if (!MosquittoRig::Available()) {
        GTEST_SKIP() << "mosquitto and its clients are not installed (Debian's mosquitto and "
                        "mosquitto-clients)";
    }
    MosquittoRig broker;
    ASSERT_TRUE(broker.Start()) << broker.Error();
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInProcess player(bus, {"standin"});
    ASSERT_TRUE(player.Start());
    ScratchFolder folder;
    std::ofstream(folder.FilePath("keys.conf")) << "key 24 next\nkey NEC_20DF10EF play-pause\n";
    auto serial = VirtualPort::CreatePty();

    ChildProcess den;
    ASSERT_TRUE(den.Start(Program(QUORVEL_BINARY,
                                  {"--console", "--no-player", "--port", serial->readerPath(),
                                   "--mqtt", broker.Url(), "--mqtt-publish", "--mqtt-name", "den"},
                                  bus.Address())))
        << den.Error();
    // A host name, looked up off the loop.
    ChildProcess kitchen;
    ASSERT_TRUE(kitchen.Start(Program(
        QUORVEL_BINARY,
        {"--console", "--mqtt", "mqtt://localhost:" + std::to_string(broker.Port()),
         "--mqtt-publish", "--mqtt-name", "kitchen", "--keys", folder.FilePath("keys.conf")},
        bus.Address())))
        << kitchen.Error();
    ASSERT_TRUE(serial->WaitForRawReader(Deadline));
    ASSERT_TRUE(broker.WaitSubscribed(8));

    ASSERT_TRUE(serial->Write({0x91, 0x18}));
    EXPECT_EQ(player.WaitForCalls(1), Lines{"Next"});
    EXPECT_EQ(broker.Retained("quorvel/kitchen/status"), "online");
    // Then a bridge's code, which both hear: nothing of the first key came before it.
    ASSERT_TRUE(broker.Publish(
        "tele/ir/RESULT", R"({"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x20DF10EF"}})"));
    EXPECT_EQ(Shown(den, 2), (Lines{"NEXT!", "NEC_20DF10EF"}));
    EXPECT_EQ(Shown(kitchen, 2), (Lines{"NEXT!", "PLAY!"}));
    EXPECT_EQ(player.WaitForCalls(2), (Lines{"Next", "PlayPause"}));

    EXPECT_EQ(kitchen.Stop(SIGTERM), 0);
    EXPECT_EQ(broker.Retained("quorvel/kitchen/status"), "offline");
    EXPECT_EQ(den.Stop(SIGTERM), 0);
}

}  // namespace
