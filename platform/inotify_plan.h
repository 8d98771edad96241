#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "platform/watch_plan.h"

// The inotify watches on the folders PlanWatch names for a path, and which of their events
// matter: those that name an entry on the way to it, or say a watched folder went. Shared by
// the file watch (a saved key map) and the path watch (a device or socket that appears).
class InotifyPlan {
  public:
    // mask: the events wanted of each folder. A file made is news at once only when
    // createdIsNews; else when it is closed after writing (a save), unless it is a folder or
    // a link. parents: as PlanWatch takes it.
    InotifyPlan(std::filesystem::path path, std::uint32_t mask, bool createdIsNews,
                bool parents = true);
    ~InotifyPlan();
    InotifyPlan(const InotifyPlan&) = delete;
    InotifyPlan& operator=(const InotifyPlan&) = delete;

    // Readable when events wait; -1 when inotify could not be had (Problem says why).
    int Fd() const { return fd_; }
    // Watches the folders the plan names now, and no others. Why one cannot be, or empty.
    std::string Arm();
    // Reads the events waiting: whether any matters (false too when there were none).
    bool TakeEvents();
    const std::string& Problem() const { return problem_; }

  private:
    bool Matters(const struct inotify_event& event) const;

    std::filesystem::path path_;
    std::uint32_t mask_;
    bool createdIsNews_;
    bool parents_;
    int fd_ = -1;
    std::map<int, WatchedFolder> watched_;  // by watch descriptor
    std::string problem_;
};
