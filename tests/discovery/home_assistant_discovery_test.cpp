// "den" announces its keys to Home Assistant on a real mosquitto, wired as the program does.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "keymap/key_map_file.h"
#include "program/key_source_choice.h"
#include "program/program_start.h"
#include "program/receiver_host.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/mqtt/mosquitto_rig.h"

namespace {

using Json = nlohmann::json;
using Lines = std::vector<std::string>;

const std::string Node = "homeassistant/device_automation/quorvel_den/";
const std::string Entity = "homeassistant/event/quorvel_den/remote/config";

// A config as the watcher prints it, retained at QoS 1, with Quorvel's part.
std::string Config(const std::string& topic, Json own) {
    own["device"] = {{"identifiers", {"quorvel_den"}},
                     {"name", "Quorvel den"},
                     {"model", "Quorvel"},
                     {"sw_version", QUORVEL_VERSION}};
    own["origin"] = {
        {"name", "Quorvel"}, {"sw_version", QUORVEL_VERSION}, {"support_url", QUORVEL_HOMEPAGE}};
    return "1 1 " + topic + " " + own.dump();
}

std::string Trigger(const std::string& object, const std::string& type, const std::string& key) {
    return Config(Node + object + "_" + key + "/config",
                  {{"automation_type", "trigger"},
                   {"topic", "quorvel/den/event"},
                   {"value_template", "{{ value_json.event_type }}"},
                   {"payload", object + ":" + key},
                   {"type", type},
                   {"subtype", key}});
}

std::string Remote(const Lines& eventTypes) {
    return Config(Entity, {{"name", "Remote"},
                           {"unique_id", "quorvel_den_remote"},
                           {"state_topic", "quorvel/den/event"},
                           {"event_types", eventTypes},
                           {"device_class", "button"},
                           {"availability_topic", "quorvel/den/status"}});
}

const Lines MapConfigs = {
    Trigger("press", "button_short_press", "KEY_A"),
    Trigger("double", "button_double_press", "KEY_A"),
    Trigger("press", "button_short_press", "KEY_B"),
    Trigger("held", "button_held", "KEY_B"),
    Remote({"press:KEY_A", "double:KEY_A", "press:KEY_B", "held:KEY_B"}),
};

class HomeAssistantDiscoveryTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!MosquittoRig::Available()) {
            GTEST_SKIP() << "skipped: mosquitto and its clients are not installed";
        }
        ASSERT_TRUE(broker_.Start()) << broker_.Error();
        ASSERT_TRUE(broker_.Watch(watcher_, "watcher", {"homeassistant/#", "quorvel/den/event"}));
        // A double's gap that no loaded machine outlasts between two messages.
        std::ofstream(map_) << "key KEY_A nothing\ndouble KEY_A nothing gap=5000\n"
                               "held KEY_B nothing\n";
        reloader_.emplace(map_, KeyMapFile::Load(map_).keys);
        const CommandLine options =
            ParseCommandLine({"--mqtt", broker_.Url(), "--mqtt-discovery", "--mqtt-name", "den"});
        host_.Start(MakeReceiverLoop(options, *reloader_), {}, reloader_->Keys());
        ASSERT_EQ(Watched(5), MapConfigs);
    }

    // The watcher's lines from the from-th on, once there are count in all.
    Lines Watched(std::size_t count, std::size_t from = 0) {
        EXPECT_GE(watcher_.WaitForLines(count, std::chrono::seconds(20)), count);
        Lines lines;
        for (const ChildLine& line : watcher_.Lines(from)) {
            lines.push_back(line.text);
        }
        return lines;
    }

    // Another Quorvel's press of key, its seq-th.
    bool Press(const std::string& key, int seq) {
        return broker_.Publish("quorvel/remote/key",
                               R"({"key":")" + key + R"(","action":"press",)" +
                                   R"("from":"r","seq":)" + std::to_string(seq) + "}");
    }

    MosquittoRig broker_;
    ChildProcess watcher_;
    ScratchFolder folder_;
    const std::string map_ = folder_.FilePath("keys.conf");
    std::optional<KeyMapReloader> reloader_;
    ReceiverHost host_{std::make_unique<MemoryHistoryList>(Lines{"Click to start the fun :)"})};
};

// Each key a trigger per gesture its map binds, and the machine's event entity, with
// exactly these fields (SetUp); a key the reloaded map no longer binds has its triggers
// cleared, and the entity's list shrinks with it.
TEST_F(HomeAssistantDiscoveryTest, AnnouncesTheMapAndClearsWhatAReloadTakesAway) {
    std::ofstream(map_) << "key KEY_A nothing\ndouble KEY_A nothing\n";
    ASSERT_TRUE(reloader_->Reload());
    EXPECT_EQ(Watched(8, 5),
              (Lines{"1 1 " + Node + "press_KEY_B/config ", "1 1 " + Node + "held_KEY_B/config ",
                     Remote({"press:KEY_A", "double:KEY_A"})}));
}

// A double press is one double event: the tap it replaced is never a press. A key no map
// binds is announced at its first press, with the entity's grown list.
TEST_F(HomeAssistantDiscoveryTest, ADoublePressIsOneEventAndANewKeyComesAtItsFirstPress) {
    ASSERT_TRUE(Press("KEY_A", 1) && Press("KEY_A", 2) && Press("NEC_20DF10EF", 3));
    Lines seen = Watched(9, 5);
    std::sort(seen.begin() + 1, seen.end());  // the new key's event may overtake its configs
    EXPECT_EQ(seen, (Lines{
                        R"(0 0 quorvel/den/event {"event_type":"double:KEY_A","gesture":"double",)"
                        R"("key":"KEY_A","source":"mqtt"})",
                        R"(0 0 quorvel/den/event {"event_type":"press:NEC_20DF10EF",)"
                        R"("gesture":"press","key":"NEC_20DF10EF","source":"mqtt"})",
                        Trigger("press", "button_short_press", "NEC_20DF10EF"),
                        Remote({"press:KEY_A", "double:KEY_A", "press:KEY_B", "held:KEY_B",
                                "press:NEC_20DF10EF"}),
                    }));
}

// A Home Assistant that says it is online again gets every config again.
TEST_F(HomeAssistantDiscoveryTest, ARestartedHomeAssistantGetsEveryConfigAgain) {
    ASSERT_TRUE(broker_.Publish("homeassistant/status", "online"));
    Lines again = Watched(11, 5);
    ASSERT_EQ(again.front(), "0 0 homeassistant/status online");
    EXPECT_EQ(Lines(again.begin() + 1, again.end()), MapConfigs);
}

}  // namespace
