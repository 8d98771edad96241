#pragma once

#include <string>
#include <vector>

// What the lookup learnt about one name on the bus.
struct MprisCandidate {
    std::string busName;   // e.g. "org.mpris.MediaPlayer2.vlc.instance42"
    std::string identity;  // the player's Identity property; empty if it did not say
    bool playing = false;  // PlaybackStatus is "Playing"
};

inline constexpr const char* MprisBusPrefix = "org.mpris.MediaPlayer2.";

// Picks the player to command, or returns an empty string when none fits.
//
// Only names under MprisBusPrefix take part. With a wanted name, a player fits when its
// bus name is MprisBusPrefix + wanted, or that followed by "." and an instance id, or
// when its Identity equals wanted; comparisons are exact and case-sensitive. Without a
// wanted name every player fits except playerctld, which only forwards to the others.
// Among those that fit, a Playing one comes first, then the lowest bus name (byte order),
// so the same bus always gives the same answer.
std::string ChooseMprisPlayer(const std::vector<MprisCandidate>& candidates,
                              const std::string& wanted);
