#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"

// Linux: calls onChange on the loop's thread when something appears, goes or changes its
// permissions at path or on the way to it (a receiver plugged in, its stable link made, a
// socket made again, a folder made), with inotify on the folders PlanWatch names, planned
// again after each change so a folder made later is followed, and a link to its target.
// Where the folders cannot be watched (inotify's watches used up, a folder that may be
// searched but not read), Problem says why and onChange never runs: whoever waits then
// keeps a pace of its own.
class PathWatch : public EventLoop::Watch {
  public:
    PathWatch(EventLoop& loop, const std::filesystem::path& path, std::function<void()> onChange);
    ~PathWatch() override;
    PathWatch(const PathWatch&) = delete;
    PathWatch& operator=(const PathWatch&) = delete;

    // Empty while every folder on the way is watched.
    const std::string& Problem() const { return problem_; }

  private:
    struct Plan;
    std::unique_ptr<Plan> plan_;
    std::function<void()> onChange_;
    std::unique_ptr<EventLoop::Watch> watch_;
    std::string problem_;
};
