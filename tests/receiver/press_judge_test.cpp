#include "receiver/press_judge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "receiver/signal_cycle.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/doubles/scripted_key_source.h"

namespace {

// A player there or not, going by names, taking some actions only.
struct Probe : PlayerProbe {
    std::vector<std::string> Names() const override { return names; }
    bool Takes(PlayerAction action) const override { return taken.count(action) > 0; }
    std::vector<std::string> names;
    std::set<PlayerAction> taken{PlayerAction::Next, PlayerAction::Mute};
};

KeyMap Parsed(const char* text) {
    std::vector<std::string> problems;
    KeyMap keys = KeyMap::Parse(text, "keys.conf", problems);
    EXPECT_EQ(problems, std::vector<std::string>{});
    return keys;
}

KeyEvent PressOf(const char* name) {
    return KeyEvent{KeyAction::Press, Key::Name(name), {}, std::nullopt, false, false, true};
}

TEST(PressJudge, APressActsWhenBoundInTheSectionInForceToWhatIsTaken) {
    auto keys = std::make_shared<SharedKeyMap>(
        Parsed("key KEY_NEXTSONG next\nkey KEY_PLAYPAUSE mode tv\nheld KEY_VOLUMEUP mute\n"
               "double KEY_STOPCD next\nkey KEY_MUTE nothing\nkey KEY_VOLUMEDOWN stop\n"
               "[mode=tv]\nkey KEY_NEXTSONG nothing\nkey KEY_PREVIOUSSONG run notepad\n"
               "[player=vlc*]\nkey KEY_MUTE mute\n"));
    auto probe = std::make_shared<Probe>();
    PressJudge judge(keys, probe);
    const struct {
        const char* key;
        const char* mode;
        std::vector<std::string> player;
        bool acts;
    } cases[] = {
        {"KEY_NEXTSONG", "", {}, true},
        {"KEY_NEXTSONG", "tv", {}, false},  // bound to nothing in the mode
        {"KEY_PREVIOUSSONG", "", {}, false},
        {"KEY_PREVIOUSSONG", "tv", {}, true},  // a command needs no player
        {"KEY_PLAYPAUSE", "", {}, true},       // nor does a mode
        {"KEY_VOLUMEUP", "", {}, true},        // its repeats act
        {"KEY_STOPCD", "", {}, true},          // its double does
        {"KEY_VOLUMEDOWN", "", {}, false},     // stop has no taker now
        {"KEY_MUTE", "", {}, false},
        {"KEY_MUTE", "", {"vlc.exe"}, true},
        {"KEY_EJECTCD", "", {}, false},
    };
    for (const auto& c : cases) {
        judge.SetMode(c.mode);
        probe->names = c.player;
        EXPECT_EQ(judge.WouldAct(PressOf(c.key)), c.acts) << c.key << " " << c.mode;
    }
    probe->taken.clear();
    judge.SetMode("");
    EXPECT_FALSE(judge.WouldAct(PressOf("KEY_NEXTSONG")));  // the player went
    keys->Replace(Parsed("key KEY_NEXTSONG run notepad\n"));
    EXPECT_TRUE(judge.WouldAct(PressOf("KEY_NEXTSONG")));  // a reload applies at once
}

// The cycle tells its judge each mode it enters and leaves.
TEST(PressJudge, FollowsTheModeTheCycleSets) {
    auto keys = std::make_shared<SharedKeyMap>(
        Parsed("key 1 mode tv\nkey KEY_NEXTSONG next\n[mode=tv]\nkey 2 mode\n"
               "key KEY_NEXTSONG nothing\n"));
    PressJudge judge(keys, nullptr);
    std::vector<bool> acts;
    ScriptedKeySource source({Press(1), Press(2)});
    source.onNext = [&] { acts.push_back(judge.WouldAct(PressOf("KEY_NEXTSONG"))); };
    MemoryHistoryList list;
    list.lines = {"Click to start the fun :)"};
    HistoryLog log(list);
    RecordingPlayerLink player;
    SignalCycle cycle(source, log, player, *keys);
    cycle.JudgeWith(&judge);
    cycle.Start();
    cycle.Run();
    EXPECT_EQ(acts, (std::vector<bool>{true, false, true}));
}

// The hook's thread asks while the receiver sets modes and the UI reloads the map.
TEST(PressJudge, AnswersFromAnotherThreadWhileTheMapAndModeChange) {
    auto keys = std::make_shared<SharedKeyMap>(Parsed("key KEY_NEXTSONG next\n[mode=tv]\n"));
    PressJudge judge(keys, std::make_shared<Probe>());
    std::atomic<bool> done{false};
    std::thread hook([&] {
        while (!done) {
            judge.WouldAct(PressOf("KEY_NEXTSONG"));
        }
    });
    for (int i = 0; i < 200; ++i) {
        judge.SetMode(i % 2 == 0 ? "tv" : "");
        keys->Replace(Parsed(i % 2 == 0 ? "key KEY_NEXTSONG stop\n[mode=tv]\n"
                                        : "key KEY_NEXTSONG next\n[mode=tv]\n"));
    }
    done = true;
    hook.join();
    EXPECT_TRUE(judge.WouldAct(PressOf("KEY_NEXTSONG")));
}

}  // namespace
