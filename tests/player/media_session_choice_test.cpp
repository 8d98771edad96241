// Which media session the Windows link commands, where a seek lands, and which program an
// app id names: plain rules, tested here once for both platforms.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "player/media_session_choice.h"
#include "player/media_session_seek.h"

namespace {

using Sessions = std::vector<MediaSessionCandidate>;

MediaSessionCandidate S(std::string appId, bool playing = false, bool current = false) {
    return {.appId = std::move(appId), .playing = playing, .current = current};
}

TEST(ChooseMediaSession, GoesByPinThenAnswerThenPlayingThenLastCommandedThenCurrent) {
    MediaSessionCandidate silent = S("Silent", true);
    silent.answers = false;
    MediaSessionCandidate earlier = S("Earlier", true);
    earlier.becamePlaying = 1;
    MediaSessionCandidate later = S("Later", true);
    later.becamePlaying = 2;
    const struct {
        Sessions sessions;
        const char* lastCommanded;
        const char* pinned;
        const char* only;
        std::optional<std::size_t> chosen;
    } cases[] = {
        {{}, "", "", "", std::nullopt},
        {{S("A", false, true), S("B", true)}, "A", "", "", 1},
        {{earlier, later}, "", "", "", 1},
        {{silent, S("B")}, "", "", "", 1},
        {{S("A", false, true), S("B")}, "B", "", "", 1},
        {{S("A"), S("B", false, true)}, "", "", "", 1},
        {{S("A"), S("B")}, "", "", "", 0},
        {{S("A", true), S("B")}, "", "B", "", 1},
        {{S("A", true), S("B")}, "", "Gone", "", 0},
        {{S("A", true), S("B"), S("B", true)}, "", "", "B", 2},
        {{S("A", true)}, "", "", "B", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseMediaSession(c.sessions, c.lastCommanded, c.pinned, c.only), c.chosen)
            << c.sessions.size() << " sessions, last " << c.lastCommanded << ", pinned "
            << c.pinned;
    }
}

TEST(StepMediaSession, RingsThroughTheAppIdsInByteOrder) {
    const Sessions sessions{S("mpv"), S("Chrome"), S("Spotify.exe"), S("Chrome")};
    EXPECT_EQ(StepMediaSession(sessions, "Chrome", 1), "Spotify.exe");
    EXPECT_EQ(StepMediaSession(sessions, "mpv", 1), "Chrome");
    EXPECT_EQ(StepMediaSession(sessions, "Chrome", -1), "mpv");
    EXPECT_EQ(StepMediaSession(sessions, "", 1), "Chrome");
    EXPECT_EQ(StepMediaSession(sessions, "", -1), "mpv");
    EXPECT_EQ(StepMediaSession({}, "", 1), "");
}

TEST(AppIdNamesProgram, ByPackageFileNameOrPathCaseAside) {
    const struct {
        const char* appId;
        const char* executable;
        const char* packaged;
        bool names;
    } cases[] = {
        {"Spotify.exe", "Spotify.exe", "", true},
        {"Chrome", "chrome.exe", "", true},
        {"{6D809377-6AF0-444B-8957-A3773F02200E}\\foobar2000\\foobar2000.exe", "foobar2000.exe", "",
         true},
        {"Microsoft.ZuneMusic_8wekyb3d8bbwe!Microsoft.ZuneMusic", "Microsoft.Media.Player.exe",
         "microsoft.zunemusic_8wekyb3d8bbwe!Microsoft.ZuneMusic", true},
        {"308046B0AF4A39CB", "firefox.exe", "", false},
        {"Chrome", "chromium.exe", "", false},
        {"", "", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppIdNamesProgram(c.appId, c.executable, c.packaged), c.names) << c.appId;
    }
}

TEST(SeekTarget, MovesFromThePositionNowWithinWhatTheSessionAllows) {
    constexpr std::int64_t s = TimelineTicksPerSecond;
    const MediaTimeline seekable{0, 120 * s, 0, 120 * s, 60 * s, 1000 * s};
    EXPECT_EQ(SeekTarget(seekable, 5, false, 1002 * s), 65 * s);
    EXPECT_EQ(SeekTarget(seekable, 5, true, 1002 * s), 67 * s);
    EXPECT_EQ(SeekTarget(seekable, 90, false, 0), 120 * s);
    EXPECT_EQ(SeekTarget({0, 120 * s, 10 * s, 90 * s, 60 * s, 0}, -55, false, 0), 10 * s);
    EXPECT_EQ(SeekTarget({0, 100 * s, 0, 0, 98 * s, 0}, 5, false, 0), 100 * s);
    EXPECT_EQ(SeekTarget({0, 0, 0, 0, 3 * s, 0}, -10, false, 0), 0);
    EXPECT_EQ(SeekTarget({0, 0, 0, 0, 3 * s, 0}, 10, false, 0), 13 * s);
}

}  // namespace
