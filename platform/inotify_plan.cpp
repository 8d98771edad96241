#include "platform/inotify_plan.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "log/untrusted_text.h"

InotifyPlan::InotifyPlan(std::filesystem::path path, std::uint32_t mask, bool createdIsNews,
                         bool parents)
    : path_(std::move(path)),
      mask_(mask | IN_ONLYDIR),
      createdIsNews_(createdIsNews),
      parents_(parents),
      fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (fd_ < 0) {
        problem_ = std::string("cannot watch files: ") + std::strerror(errno);
    }
}

InotifyPlan::~InotifyPlan() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string InotifyPlan::Arm() {
    if (fd_ < 0) {
        return problem_;
    }
    std::map<int, WatchedFolder> now;
    std::string why;
    for (WatchedFolder& wanted : PlanWatch(path_, parents_)) {
        const int wd = ::inotify_add_watch(fd_, wanted.folder.c_str(), mask_);
        if (wd < 0) {
            if (why.empty()) {
                why = "cannot watch " + UntrustedText(wanted.folder.string()) + ": " +
                      std::strerror(errno);
            }
            continue;
        }
        // Two paths to one folder share its descriptor.
        WatchedFolder& kept = now.try_emplace(wd, WatchedFolder{wanted.folder, {}}).first->second;
        kept.names.insert(kept.names.end(), wanted.names.begin(), wanted.names.end());
    }
    for (const auto& [wd, gone] : watched_) {
        if (now.count(wd) == 0) {
            ::inotify_rm_watch(fd_, wd);
        }
    }
    watched_ = std::move(now);
    return why;
}

bool InotifyPlan::Matters(const inotify_event& event) const {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        return true;
    }
    const auto found = watched_.find(event.wd);
    if (found == watched_.end()) {
        return false;  // one given up on since
    }
    if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
        return true;
    }
    const WatchedFolder& folder = found->second;
    if (event.len == 0 || std::find(folder.names.begin(), folder.names.end(),
                                    std::filesystem::path(event.name)) == folder.names.end()) {
        return false;
    }
    std::error_code ignored;
    return createdIsNews_ || (event.mask & IN_CREATE) == 0 || (event.mask & IN_ISDIR) != 0 ||
           std::filesystem::is_symlink(
               std::filesystem::symlink_status(folder.folder / event.name, ignored));
}

bool InotifyPlan::TakeEvents() {
    alignas(inotify_event) char buffer[4096];
    bool matters = false;
    for (ssize_t got; fd_ >= 0 && (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            matters = Matters(*event) || matters;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return matters;
}
