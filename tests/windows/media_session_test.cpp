// The media session link against stand_in_sessions.dll, registered as the system's session
// manager (Wine has none), and without it. What only real Windows can show: the real
// manager's sessions and answers, and the audio sessions behind them (Wine's mixer has
// none here), for which a stand-in AppVolume serves.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "player/audio_session_volume.h"
#include "player/media_session_player_link.h"
#include "tests/doubles/log_capture.h"
#include "tests/windows/stand_in_player.h"
#include "tests/windows/stand_in_sessions.h"

namespace {

using Calls = std::vector<std::string>;

struct StandInVolume : AppVolume {
    std::optional<Level> Read(const std::string& appId) override {
        const auto found = levels.find(appId);
        return found == levels.end() ? std::nullopt : std::optional(found->second);
    }
    bool Write(const std::string& appId, const Level& level) override {
        return levels[appId] = level, true;
    }
    std::map<std::string, Level> levels;
};

struct Told : PlayerFeedback {
    void Show(const PlayerNews& news) override { texts.push_back(news.player + ": " + news.text); }
    std::vector<std::string> texts;
};

// The link on a receiver loop of this thread, which runs while the test waits.
struct Rig {
    explicit Rig(std::unique_ptr<AppVolume> volume = nullptr, PlayerFeedback* told = nullptr)
        : link(std::make_unique<MediaSessionPlayerLink>(told, std::move(volume))) {
        link->Attach(*loop);
    }
    // Runs the loop (and this thread's windows) until done, or a generous deadline.
    bool Until(const std::function<bool()>& done) const {
        const auto end = EventLoop::Clock::now() + std::chrono::seconds(30);
        while (!done() && EventLoop::Clock::now() < end) {
            loop->RunOnce(EventLoop::Clock::now() + std::chrono::milliseconds(5));
            for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
                DispatchMessageA(&message);
            }
        }
        return done();
    }
    void Press(PlayerAction action, const std::string& app = {}, int seconds = 0) const {
        link->Perform(PlayerRequest(action, seconds), PlayerChoice{!app.empty(), app});
    }
    std::string Chosen() const { return link->Choose().player; }

    std::unique_ptr<EventLoop> loop = MakeEventLoop();
    std::unique_ptr<MediaSessionPlayerLink> link;
};

// The session playing, else the last commanded, else the current; where next-player put
// the remote, while it is there; sessions as they come and go.
TEST(MediaSessionPlayerLink, ChoosesAmongTheSessionsThereAtEachKey) {
    const StandInSessions sessions("Spotify.exe paused\nChrome playing\nmpv stopped current\n");
    LogCapture log;
    const Rig rig;
    EXPECT_EQ(rig.link->PlayerNames(rig.link->Choose()), Calls{"Chrome"});
    sessions.Script("Spotify.exe paused\nChrome paused\nmpv stopped current\n");
    EXPECT_EQ(rig.Chosen(), "mpv");
    rig.Press(PlayerAction::Stop, "Spotify.exe");
    EXPECT_EQ(rig.Chosen(), "Spotify.exe");
    rig.Press(PlayerAction::NextPlayer);
    sessions.Script("Spotify.exe playing\nmpv stopped current\n");
    EXPECT_EQ(rig.Chosen(), "mpv");
    sessions.Script("Spotify.exe playing\nNew.exe playing\n");
    const PlayerChoice newest = rig.link->Choose();
    EXPECT_EQ(newest.player, "New.exe");
    sessions.Script("");
    rig.link->Perform(PlayerRequest(PlayerAction::Next), newest);
    EXPECT_EQ(log.Count("New.exe went away before its key acted"), 1);
    EXPECT_EQ(rig.Chosen(), "");
    EXPECT_EQ(sessions.Calls(), (Calls{"RequestAsync", "Spotify.exe TryStopAsync"}));
}

TEST(MediaSessionPlayerLink, CallsEachActionsTryAsyncAndSeeksFromTheTimeline) {
    const StandInSessions sessions("Spotify.exe paused current\n");
    const Rig rig;
    Calls expected{"RequestAsync"};
    for (const auto& [action, seconds, call] :
         {std::tuple{PlayerAction::PlayPause, 0, "TryTogglePlayPauseAsync"},
          {PlayerAction::Play, 0, "TryPlayAsync"},
          {PlayerAction::Pause, 0, "TryPauseAsync"},
          {PlayerAction::Stop, 0, "TryStopAsync"},
          {PlayerAction::Next, 0, "TrySkipNextAsync"},
          {PlayerAction::Previous, 0, "TrySkipPreviousAsync"},
          {PlayerAction::SeekForward, 5, "TryChangePlaybackPositionAsync 650000000"},
          {PlayerAction::SeekBackward, 90, "TryChangePlaybackPositionAsync 0"}}) {
        rig.Press(action, {}, seconds);  // each held until the one before has answered
        expected.push_back(std::string("Spotify.exe ") + call);
    }
    EXPECT_TRUE(rig.Until([&] { return sessions.Calls().size() >= expected.size(); }));
    EXPECT_EQ(sessions.Calls(), expected);
}

TEST(MediaSessionPlayerLink, AHungSessionCostsOneWaitAndIsPassedOver) {
    const StandInSessions sessions("Hung.exe playing hung\nOther.exe paused\n");
    LogCapture log;
    Rig rig;
    for (int i = 0; i < 3; ++i) {
        rig.Press(PlayerAction::Next);
    }
    EXPECT_TRUE(rig.Until([&] { return log.Count("did not answer next within a second") > 0; }));
    rig.Press(PlayerAction::Next, "Hung.exe");
    EXPECT_EQ(log.Count("Hung.exe does not answer; keys go nowhere until it does"), 1);
    EXPECT_EQ(rig.Chosen(), "Other.exe");
    rig.Press(PlayerAction::Next);
    EXPECT_TRUE(rig.Until([&] { return sessions.Calls().size() >= 3; }));
    rig.link.reset();  // a call still under way is cancelled
    EXPECT_EQ(sessions.Calls(),
              (Calls{"RequestAsync", "Hung.exe TrySkipNextAsync", "Other.exe TrySkipNextAsync",
                     "Hung.exe TrySkipNextAsync canceled"}));
}

// The app's own volume in 5 % steps, told with --notify; without an audio session of its
// own, said once and left to the volume keys. (Finding a real app's audio session is what
// only Windows shows: Wine's mixer lists none here.)
TEST(MediaSessionPlayerLink, StepsAndMutesTheAppsOwnVolume) {
    const StandInSessions sessions("Spotify.exe playing\nChrome paused\n");
    auto volume = std::make_unique<StandInVolume>();
    StandInVolume& levels = *volume;
    levels.levels["Spotify.exe"] = {0.5, false};
    Told told;
    LogCapture log;
    const Rig rig(std::move(volume), &told);
    for (const PlayerAction action : {PlayerAction::VolumeUp, PlayerAction::Mute,
                                      PlayerAction::Mute, PlayerAction::VolumeDown}) {
        rig.Press(action);
    }
    EXPECT_EQ(told.texts, (Calls{"Spotify.exe: Volume 55%", "Spotify.exe: Muted",
                                 "Spotify.exe: Unmuted: volume 55%", "Spotify.exe: Volume 50%"}));
    EXPECT_DOUBLE_EQ(levels.levels["Spotify.exe"].volume, 0.5);
    rig.Press(PlayerAction::VolumeUp, "Chrome");
    rig.Press(PlayerAction::VolumeUp, "Chrome");
    EXPECT_EQ(log.Count("Chrome has no audio session of its own"), 1);
    EXPECT_FALSE(AudioSessionVolume().Read("player_link_test.exe"));
}

// Without a manager, as under Wine: said once, with why, and the window in front gets the
// media key.
TEST(MediaSessionPlayerLink, FallsBackToTheMediaKeysWhereTheSystemHasNoSessions) {
    StandInSessions::Unregister();
    LogCapture log;
    const Rig rig;
    EXPECT_EQ(log.Count("the system's media sessions cannot be used (Class not registered "
                        "(0x80040154)); the media keys are pressed instead"),
              1);
    const StandInPlayer front("keys in front");
    ShowWindow(front.Handle(), SW_SHOW);
    SetForegroundWindow(front.Handle());
    SetFocus(front.Handle());
    ASSERT_TRUE(rig.Until([&] { return GetForegroundWindow() == front.Handle(); }));
    EXPECT_EQ(reinterpret_cast<HWND>(rig.link->Choose().window), front.Handle());
    rig.Press(PlayerAction::Next);
    EXPECT_TRUE(rig.Until([&] { return !StandInPlayer::Keys(front.Handle()).empty(); }));
    EXPECT_EQ(StandInPlayer::Keys(front.Handle()), std::vector<WPARAM>{VK_MEDIA_NEXT_TRACK});
}

}  // namespace
