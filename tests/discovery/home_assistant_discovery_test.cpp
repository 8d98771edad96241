// The machine "den" announces its keys to Home Assistant on a real mosquitto: its keys come
// as another Quorvel's, through the program's own wiring, and a watcher sees what reaches
// the broker.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "keymap/key_map_file.h"
#include "program/key_map_reloader.h"
#include "program/key_source_choice.h"
#include "program/receiver_host.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/mqtt/mosquitto_rig.h"

namespace {

using Json = nlohmann::json;
using Lines = std::vector<std::string>;

constexpr auto Deadline = std::chrono::seconds(20);
const std::string Node = "homeassistant/device_automation/quorvel_den/";
const std::string Entity = "homeassistant/event/quorvel_den/remote/config";
// A double's gap no loaded machine outlasts between two messages.
constexpr const char* Keys =
    "key KEY_A nothing\ndouble KEY_A nothing gap=5000\nheld KEY_B nothing\n";

// Quorvel's part of every config.
Json Config(Json own) {
    own["device"] = {{"identifiers", {"quorvel_den"}},
                     {"name", "Quorvel den"},
                     {"model", "Quorvel"},
                     {"sw_version", QUORVEL_VERSION}};
    own["origin"] = {
        {"name", "Quorvel"}, {"sw_version", QUORVEL_VERSION}, {"support_url", QUORVEL_HOMEPAGE}};
    return own;
}

Json Trigger(const std::string& type, const std::string& payload, const std::string& key) {
    return Config({{"automation_type", "trigger"},
                   {"topic", "quorvel/den/event"},
                   {"value_template", "{{ value_json.event_type }}"},
                   {"payload", payload},
                   {"type", type},
                   {"subtype", key}});
}

Json Remote(const Lines& eventTypes) {
    return Config({{"name", "Remote"},
                   {"unique_id", "quorvel_den_remote"},
                   {"state_topic", "quorvel/den/event"},
                   {"event_types", eventTypes},
                   {"device_class", "button"},
                   {"availability_topic", "quorvel/den/status"}});
}

// What the watcher saw, one "RETAIN QOS TOPIC PAYLOAD" each.
struct Seen {
    std::string flags;
    std::string topic;
    std::string payload;
};

class HomeAssistantDiscoveryTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!MosquittoRig::Available()) {
            GTEST_SKIP() << "skipped: mosquitto and its clients are not installed (Debian's "
                            "mosquitto and mosquitto-clients)";
        }
        ASSERT_TRUE(broker_.Start()) << broker_.Error();
        ASSERT_TRUE(broker_.Watch(watcher_, "watcher", {"homeassistant/#", "quorvel/den/event"}));
        std::ofstream(folder_.FilePath("keys.conf")) << Keys;
        KeyMapFile::Loaded loaded = KeyMapFile::Load(folder_.FilePath("keys.conf"));
        ASSERT_EQ(loaded.problems, Lines{});
        reloader_.emplace(folder_.FilePath("keys.conf"), std::move(loaded.keys));
        const CommandLine options =
            CommandLine::Parse({"--mqtt", broker_.Url(), "--mqtt-discovery", "--mqtt-name", "den"});
        ASSERT_EQ(options.problem, "");
        host_.Start(MakeReceiverLoop(options, *reloader_), {}, reloader_->Keys());
    }

    // The watcher's lines from the from-th on, once there are count in all.
    std::vector<Seen> Watched(std::size_t count, std::size_t from = 0) {
        EXPECT_GE(watcher_.WaitForLines(count, Deadline), count);
        std::vector<Seen> seen;
        for (const ChildLine& line : watcher_.Lines(from)) {
            const std::size_t topic = line.text.find(' ', 2) + 1;
            const std::size_t payload = line.text.find(' ', topic);
            seen.push_back({line.text.substr(0, topic - 1),
                            line.text.substr(topic, payload - topic),
                            line.text.substr(payload + 1)});
        }
        return seen;
    }

    // A press of key from another Quorvel, its seq-th key.
    void Press(const std::string& key, int seq) {
        ASSERT_TRUE(broker_.Publish("quorvel/remote/key", Json{{"key", key},
                                                               {"kind", "name"},
                                                               {"action", "press"},
                                                               {"from", "remote-1"},
                                                               {"seq", seq}}
                                                              .dump()));
    }

    MosquittoRig broker_;
    ChildProcess watcher_;
    ScratchFolder folder_;
    std::optional<KeyMapReloader> reloader_;
    ReceiverHost host_{std::make_unique<MemoryHistoryList>(Lines{"Click to start the fun :)"})};  // stops first
};

// Each key a trigger per gesture its map binds, and the machine's event entity, retained at
// QoS 1, with exactly these fields.
TEST_F(HomeAssistantDiscoveryTest, AnnouncesEachKeyAndGestureOfTheMap) {
    const std::vector<Seen> seen = Watched(5);
    ASSERT_EQ(seen.size(), 5u);
    const std::pair<std::string, Json> expected[] = {
        {Node + "press_KEY_A/config", Trigger("button_short_press", "press:KEY_A", "KEY_A")},
        {Node + "double_KEY_A/config", Trigger("button_double_press", "double:KEY_A", "KEY_A")},
        {Node + "press_KEY_B/config", Trigger("button_short_press", "press:KEY_B", "KEY_B")},
        {Node + "held_KEY_B/config", Trigger("button_held", "held:KEY_B", "KEY_B")},
        {Entity, Remote({"press:KEY_A", "double:KEY_A", "press:KEY_B", "held:KEY_B"})},
    };
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].flags, "1 1") << seen[i].topic;
        EXPECT_EQ(seen[i].topic, expected[i].first);
        EXPECT_EQ(Json::parse(seen[i].payload), expected[i].second) << seen[i].topic;
    }
}

// A double press is one double event; the tap it replaced is never a press.
TEST_F(HomeAssistantDiscoveryTest, ADoublePressIsOneDoubleEvent) {
    Watched(5);
    Press("KEY_A", 1);
    Press("KEY_A", 2);
    Press("KEY_B", 3);
    Lines events;
    for (const Seen& seen : Watched(7, 5)) {
        EXPECT_EQ(seen.flags, "0 0");
        events.push_back(seen.payload);
    }
    EXPECT_EQ(events, (Lines{R"({"event_type":"double:KEY_A","gesture":"double","key":"KEY_A",)"
                             R"("source":"mqtt"})",
                             R"({"event_type":"press:KEY_B","gesture":"press","key":"KEY_B",)"
                             R"("source":"mqtt"})"}));
}

// A Home Assistant that says it is online again gets every config again.
TEST_F(HomeAssistantDiscoveryTest, ARestartedHomeAssistantGetsEveryConfigAgain) {
    std::vector<std::string> first;
    for (const Seen& seen : Watched(5)) {
        first.push_back(seen.topic + " " + seen.payload);
    }
    ASSERT_TRUE(broker_.Publish("homeassistant/status", "online"));
    std::vector<std::string> again;
    for (const Seen& seen : Watched(11, 5)) {
        if (seen.topic != "homeassistant/status") {
            again.push_back(seen.topic + " " + seen.payload);
        }
    }
    EXPECT_EQ(again, first);
}

// A key the reloaded map no longer binds has its triggers cleared, and the entity's list
// shrinks with it.
TEST_F(HomeAssistantDiscoveryTest, AReloadClearsTheTriggersOfAKeyThatLeftTheMap) {
    Watched(5);
    std::ofstream(folder_.FilePath("keys.conf")) << "key KEY_A nothing\ndouble KEY_A nothing\n";
    ASSERT_TRUE(reloader_->Reload());
    const std::vector<Seen> seen = Watched(8, 5);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].topic + "=" + seen[0].payload, Node + "press_KEY_B/config=");
    EXPECT_EQ(seen[1].topic + "=" + seen[1].payload, Node + "held_KEY_B/config=");
    EXPECT_EQ(seen[0].flags + seen[1].flags, "1 11 1");
    EXPECT_EQ(Json::parse(seen[2].payload), Remote({"press:KEY_A", "double:KEY_A"}));
}

// A key no map binds is announced at its first press, before its event.
TEST_F(HomeAssistantDiscoveryTest, ANewKeyIsAnnouncedAtItsFirstPress) {
    Watched(5);
    Press("NEC_20DF10EF", 1);
    std::vector<std::string> topics;
    Json remote;
    for (const Seen& seen : Watched(8, 5)) {
        topics.push_back(seen.topic);
        if (seen.topic == Node + "press_NEC_20DF10EF/config") {
            EXPECT_EQ(Json::parse(seen.payload),
                      Trigger("button_short_press", "press:NEC_20DF10EF", "NEC_20DF10EF"));
        } else if (seen.topic == Entity) {
            remote = Json::parse(seen.payload);
        }
    }
    EXPECT_EQ(topics.size(), 3u);
    EXPECT_EQ(std::count(topics.begin(), topics.end(), "quorvel/den/event"), 1);
    EXPECT_EQ(remote, Remote({"press:KEY_A", "double:KEY_A", "press:KEY_B", "held:KEY_B",
                              "press:NEC_20DF10EF"}));
}

}  // namespace
