#pragma once

#include <optional>
#include <string>

// An app's own volume, as Windows' volume mixer shows it beside the system's: what the
// media session link's volume and mute keys change (AudioSessionVolume; a test's stand-in).
class AppVolume {
  public:
    struct Level {
        double volume = 0;  // 0.0 to 1.0
        bool muted = false;
        bool operator==(const Level&) const = default;
    };

    virtual ~AppVolume() = default;
    // The level of the app appId names (AppIdNamesProgram); none when it has no audio
    // session now.
    virtual std::optional<Level> Read(const std::string& appId) = 0;
    // Sets each audio session of the app to level; false when none could be set.
    virtual bool Write(const std::string& appId, const Level& level) = 0;
};
