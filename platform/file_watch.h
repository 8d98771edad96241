#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"

// Follows one file through its folder: calls onChange whenever the file is written and
// closed, made, removed, or another file is renamed over it (as editors save), on the loop
// it watches on, after a short pause (a timer of the loop) that gathers the events of one
// save. The folders
// on the way are watched too (PlanWatch): a folder missing at the start, or removed and made
// again, is followed from the nearest one that exists, and a link to the file is followed
// to the file it points to; onChange is called whenever that changes what is watched. On
// Windows a file another program holds locked is waited for (up to a few seconds, on the
// loop's timer) before onChange. inotify on Linux, ReadDirectoryChangesW on Windows, their
// descriptor or events watched by the loop. Made, used and destroyed on the loop's thread;
// destroying it takes it out of the loop.
class FileWatch : public EventLoop::Watch {
  public:
    FileWatch(EventLoop& loop, const std::filesystem::path& path, std::function<void()> onChange);
    ~FileWatch() override;
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Empty when the file is watched; else why not (no inotify watch left, say), as found
    // at the start. Later failures are said in the lcPlatform log.
    const std::string& Problem() const;

    struct State;  // the platform's

  private:
    std::unique_ptr<State> state_;
};
