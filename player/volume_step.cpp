#include "player/volume_step.h"

#include <algorithm>
#include <cmath>

double SteppedVolume(double volume, double step) {
    if (!std::isfinite(volume) || !std::isfinite(step)) {
        return volume;
    }
    const double stepped = std::clamp(std::clamp(volume, 0.0, 1.0) + step, 0.0, 1.0);
    return step > 0 ? std::max(volume, stepped) : std::min(volume, stepped);
}

std::string VolumeNewsText(PlayerNews::Kind kind, double volume) {
    const std::string percent = std::to_string(std::lround(volume * 100)) + "%";
    return kind == PlayerNews::Kind::Volume ? "Volume " + percent
           : volume == 0                    ? std::string("Muted")
                                            : "Unmuted: volume " + percent;
}
