#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the media session link knows of one of the system's media sessions at a key press.
struct MediaSessionCandidate {
    std::string appId;     // its SourceAppUserModelId ("Spotify.exe", "Chrome")
    bool playing = false;  // its PlaybackStatus is Playing
    bool current = false;  // the session the system itself would command (GetCurrentSession)
    bool answers = true;   // false: a call to it went unanswered, and it has not answered since
    // When it last became Playing, as with MprisCandidate: a count that grows with every
    // change into Playing the link saw; 0 when it was Playing when first seen.
    std::uint64_t becamePlaying = 0;
};

// The session to command, as the MPRIS link chooses a player; none when there is none.
// pinned (an app id, empty for none) is where next-player or previous-player put the
// remote: while one of its sessions is there, it is the choice. Else: one that answers
// before one that does not; then one that is Playing, of several the one that most
// recently became so; then the app commanded last (lastCommanded); then the system's
// current session; then the first in the system's order. Sessions of one app id are one
// player to the user: only, when not empty, keeps to that app's sessions (a key's choice,
// made again among them when it acts).
std::optional<std::size_t> ChooseMediaSession(const std::vector<MediaSessionCandidate>& sessions,
                                              std::string_view lastCommanded,
                                              std::string_view pinned, std::string_view only = {});

// Where next-player (step 1) or previous-player (step -1) moves the remote from current:
// the app ids there, in byte order, taken in a ring; the first (or, going back, the last)
// when current is none of them; empty when there is no session.
std::string StepMediaSession(const std::vector<MediaSessionCandidate>& sessions,
                             std::string_view current, int step);

// Whether the program whose file name is executable ("Spotify.exe"), of the packaged app
// packagedAppId (empty for a program that is not one), is the app appId names. Windows
// does not say which process a media session is; what an app id is tells: a packaged app's
// own id; the program's file name (Spotify.exe), or that without ".exe" (Chrome, mpv); or a
// path whose last part is the file name (a program without an id of its own is named by
// its path, its folder a known folder's GUID). Case aside, as Windows compares them.
bool AppIdNamesProgram(std::string_view appId, std::string_view executable,
                       std::string_view packagedAppId);
