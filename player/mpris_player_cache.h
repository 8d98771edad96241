#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/mpris_player_choice.h"
#include "player/mpris_value.h"

// What the link knows of each MPRIS player on the bus: its PlaybackStatus, Volume and
// Identity, as read when it appeared and kept current from its PropertiesChanged signals,
// and whether it is silent (left a call unanswered, and has not answered since). A player
// is forgotten when it leaves the bus or changes owner. Used on the loop's thread.
class MprisPlayerCache {
  public:
    using Properties = MprisProperties;

    struct Player {
        bool known = false;  // read since it appeared, and not said stale since
        std::string identity;
        std::string status;               // PlaybackStatus as last heard; empty before
        std::uint64_t becamePlaying = 0;  // see MprisCandidate
        std::optional<double> volume;     // as last heard or written; none: ask
        bool silent = false;
        bool saidBadVolume = false;  // gave a Volume that is no number, said once
    };

    // The player, made unknown when new.
    Player& operator[](const std::string& busName) { return players_[busName]; }
    // Null when the player is not (or no longer) in the cache.
    Player* Find(const std::string& busName);
    void Forget(const std::string& busName) { players_.erase(busName); }
    void Clear() { players_.clear(); }

    // What a player said of itself. recent: a change into Playing counts as the latest
    // (false for what players said when the link first looked at the bus, which tells
    // nothing of when they started).
    void Learn(const std::string& busName, const Properties& properties, bool recent);
    // A PropertiesChanged signal: the new values, and those said changed without their
    // values, which are asked again (a Volume at the next volume key, the rest at the next
    // press).
    void Changed(const std::string& busName, const Properties& changed,
                 const std::vector<std::string>& invalidated);
    // A call to the player went unanswered in time; any reply of it makes it heard again.
    // Each said once in the lcPlayer log.
    void Silence(const std::string& busName);
    void Heard(const std::string& busName);

    // The players under names, as the choice sees them.
    std::vector<MprisCandidate> Candidates(const std::set<std::string>& names);

    // A Volume as MPRIS has it, a double; or an int32, as players written in languages
    // whose numbers carry no type (JavaScript, Python) send a whole volume. None for
    // anything else.
    static std::optional<double> Volume(const MprisValue& value);

  private:
    std::map<std::string, Player> players_;
    // Changes into Playing so far: the count MprisCandidate::becamePlaying is taken from.
    std::uint64_t playingChanges_ = 0;
};
