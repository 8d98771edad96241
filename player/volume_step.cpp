#include "player/volume_step.h"

#include <algorithm>

double SteppedVolume(double volume, double step) {
    if (step > 0) {
        return std::max(volume, std::min(volume + step, 1.0));
    }
    return std::min(volume, std::max(volume + step, 0.0));
}
