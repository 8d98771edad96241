#include "player/media_session_seek.h"

#include <algorithm>

std::int64_t SeekTarget(const MediaTimeline& timeline, int seconds, bool playing,
                        std::int64_t now) {
    std::int64_t position = timeline.position;
    if (playing && timeline.updated > 0 && now > timeline.updated) {
        position += now - timeline.updated;
    }
    std::int64_t target = position + std::int64_t{seconds} * TimelineTicksPerSecond;
    if (timeline.maxSeek > timeline.minSeek) {
        target = std::clamp(target, timeline.minSeek, timeline.maxSeek);
    } else if (timeline.end > timeline.start) {
        target = std::clamp(target, timeline.start, timeline.end);
    }
    return std::max<std::int64_t>(target, 0);
}
