#pragma once

#include <cstdint>

// A media session's timeline as the system gives it (GetTimelineProperties), in its ticks
// of 100 nanoseconds; updated is when it was true, in FILETIME's ticks (since 1601, UTC).
struct MediaTimeline {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t minSeek = 0;
    std::int64_t maxSeek = 0;
    std::int64_t position = 0;
    std::int64_t updated = 0;
};

inline constexpr std::int64_t TimelineTicksPerSecond = 10'000'000;

// Where a seek of seconds (back when negative) lands: from the position now (now in the
// same ticks as updated: a playing session has moved on since updated), kept within the
// seek range when the session gives one (maxSeek above minSeek), else within start..end
// when it gives that, and never before 0.
std::int64_t SeekTarget(const MediaTimeline& timeline, int seconds, bool playing, std::int64_t now);
