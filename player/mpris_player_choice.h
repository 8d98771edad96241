#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the link knows of one name on the bus at a key press.
struct MprisCandidate {
    std::string busName;   // e.g. "org.mpris.MediaPlayer2.vlc.instance42"
    std::string identity;  // the player's Identity property; empty if it did not say
    bool playing = false;  // PlaybackStatus was "Playing" when asked at this press
    bool answers = true;   // false: a call to it went unanswered, and it has not answered since
};

inline constexpr const char* MprisBusPrefix = "org.mpris.MediaPlayer2.";

// Whether the player under busName is the one wanted names (the --player NAME; empty for
// any). Only names under MprisBusPrefix are players. With a wanted name, a player fits when
// its bus name is MprisBusPrefix + wanted, or that followed by "." and an instance id, or
// when its identity equals wanted; wanted may also be the whole bus name. Comparisons are
// exact and case-sensitive. Without a wanted name every player fits except playerctld,
// which only forwards to the others. With an empty identity this asks the bus name alone.
bool MprisPlayerFits(std::string_view busName, std::string_view identity, std::string_view wanted);

// Picks the player to command, or returns an empty string when none fits.
//
// Among the players that fit, one that answers comes before one that does not; then one
// that is Playing; then the one commanded last (lastCommanded, a bus name, empty for none);
// then the lowest bus name (byte order). So several Playing players give the one commanded
// last if it is among them, and with none Playing the one commanded last keeps the remote
// while it is on the bus; the same bus always gives the same answer.
std::string ChooseMprisPlayer(const std::vector<MprisCandidate>& candidates,
                              std::string_view wanted, std::string_view lastCommanded);
