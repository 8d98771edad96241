#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the link knows of one name on the bus at a key press.
struct MprisCandidate {
    std::string busName;   // e.g. "org.mpris.MediaPlayer2.vlc.instance42"
    std::string identity;  // the player's Identity property; empty if it did not say
    bool playing = false;  // its PlaybackStatus is "Playing", as last heard
    bool answers = true;   // false: a call to it went unanswered, and it has not answered since
    // When it last *became* Playing: a count that grows with every change of a player's
    // PlaybackStatus into Playing (not with any update that leaves it Playing, nor with
    // updates while it is paused). 0 when it was already Playing before the link knew it.
    std::uint64_t becamePlaying = 0;
};

inline constexpr const char* MprisBusPrefix = "org.mpris.MediaPlayer2.";

// Which players the user wants: --player's names in order of preference, "*" standing for
// any player no other name of the list takes (an empty list is "*" alone); and
// --ignore-player's names, never taken, even when listed. playerctld, which only forwards
// to the others, is taken only when the list names it.
//
// A name names a player (only names under MprisBusPrefix are players) when its bus name is
// MprisBusPrefix + name, or that followed by "." and an instance id ("vlc" names
// "vlc.instance1234"); or when name is the whole bus name, with the same rule for
// instances; or when its Identity equals name. Exact and case-sensitive.
struct MprisPlayerFilter {
    std::vector<std::string> preferred = {};
    std::vector<std::string> ignored = {};
};

// Picks the player to command, or returns an empty string when none fits.
//
// pinned (a bus name, empty for none) is where next-player or previous-player put the
// remote: while it is on the bus and fits, it is the choice. Else, among the players that
// fit: one that answers before one that does not; then the earlier in --player's list; then
// one that is Playing, of several the one that most recently became Playing; then the one
// commanded last (lastCommanded, a bus name); then the lowest bus name (byte order). So a
// play-pause that paused a player leaves the remote on it unless another one plays, and the
// same bus always gives the same answer.
std::string ChooseMprisPlayer(const std::vector<MprisCandidate>& candidates,
                              const MprisPlayerFilter& filter, std::string_view lastCommanded,
                              std::string_view pinned);

// Where next-player (step 1) or previous-player (step -1) moves the remote from current:
// the players that fit, in the order of --player's list and then of bus names, taken in a
// ring. The first (or, going back, the last) when current is none of them; empty when no
// player fits.
std::string StepMprisPlayer(const std::vector<MprisCandidate>& candidates,
                            const MprisPlayerFilter& filter, std::string_view current, int step);

// A player for the log: its bus name without the prefix, and its Identity when it said one.
std::string DescribedMprisPlayer(const MprisCandidate& player);
// What to say when no player fits: the players that are there, when the user named some
// or ignored some, and which named ones the ignored names hide.
std::string NoMprisPlayerLine(const MprisPlayerFilter& filter,
                              const std::vector<MprisCandidate>& there);
