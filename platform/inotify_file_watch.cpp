#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "log/untrusted_text.h"
#include "platform/file_watch.h"
#include "platform/platform_log.h"
#include "platform/watch_plan.h"

namespace {

// The events of one save (a write, then a rename, say) come within this.
constexpr int GatherMs = 50;

constexpr std::uint32_t Mask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                               IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

struct FileWatch::State {
    int inotify = -1;
    int stop = -1;  // an eventfd: the destructor's wake-up
    std::filesystem::path file;
    std::map<int, WatchedFolder> watched;  // by watch descriptor
    std::function<void()> onChange;
    std::string problem;
    std::thread thread;

    // Watches the folders PlanWatch names and no others. Why one cannot be, or empty.
    std::string Arm() {
        std::map<int, WatchedFolder> now;
        std::string why;
        for (WatchedFolder& wanted : PlanWatch(file)) {
            const int wd = ::inotify_add_watch(inotify, wanted.folder.c_str(), Mask);
            if (wd < 0) {
                if (why.empty()) {
                    why = "cannot watch " + UntrustedText(wanted.folder.string()) + ": " +
                          std::strerror(errno);
                }
                continue;
            }
            // Two paths to one folder share its descriptor.
            WatchedFolder& kept =
                now.try_emplace(wd, WatchedFolder{wanted.folder, {}}).first->second;
            kept.names.insert(kept.names.end(), wanted.names.begin(), wanted.names.end());
        }
        for (const auto& [wd, gone] : watched) {
            if (now.count(wd) == 0) {
                ::inotify_rm_watch(inotify, wd);
            }
        }
        watched = std::move(now);
        return why;
    }

    // Whether an event names what the plan watches (a file being written is taken when
    // closed, not when made), or a watched folder went.
    bool Matters(const inotify_event& event) const {
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
            return true;
        }
        const auto found = watched.find(event.wd);
        if (found == watched.end()) {
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
        return (event.mask & IN_CREATE) == 0 || (event.mask & IN_ISDIR) != 0 ||
               std::filesystem::is_symlink(
                   std::filesystem::symlink_status(folder.folder / event.name, ignored));
    }

    // True when the events read matter; false too when there were none.
    bool TakeEvents() {
        alignas(inotify_event) char buffer[4096];
        bool matters = false;
        for (ssize_t got; (got = ::read(inotify, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                matters = Matters(*event) || matters;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return matters;
    }

    void Run() {
        pollfd fds[2] = {{stop, POLLIN, 0}, {inotify, POLLIN, 0}};
        bool pending = false;
        std::string said = problem;
        for (;;) {
            fds[0].revents = fds[1].revents = 0;
            const int ready = ::poll(fds, 2, pending ? GatherMs : -1);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0 || fds[0].revents != 0) {
                return;
            }
            if (fds[1].revents != 0) {
                pending = TakeEvents() || pending;
                continue;
            }
            if (pending) {  // quiet since the last event: the save is done
                pending = false;
                // A folder made or gone changes what is watched; the file may have been
                // saved before its folder was.
                if (const std::string why = Arm(); why != said) {
                    if (!why.empty()) {
                        QUORVEL_WARNING(lcPlatform) << "file watch: " << why;
                    }
                    said = why;
                }
                onChange();
            }
        }
    }
};

FileWatch::FileWatch(const std::filesystem::path& file, std::function<void()> onChange)
    : state_(std::make_unique<State>()) {
    state_->file = file;
    state_->onChange = std::move(onChange);
    state_->inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    state_->stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->inotify < 0 || state_->stop < 0) {
        state_->problem = std::string("cannot watch files: ") + std::strerror(errno);
        return;
    }
    // Armed before the constructor returns, so no save after it is missed.
    state_->problem = state_->Arm();
    state_->thread = std::thread([state = state_.get()] { state->Run(); });
}

FileWatch::~FileWatch() {
    if (state_->thread.joinable()) {
        const std::uint64_t one = 1;
        if (::write(state_->stop, &one, sizeof one) < 0) {
            QUORVEL_WARNING(lcPlatform)
                << "file watch: cannot stop its thread: " << std::strerror(errno);
        }
        state_->thread.join();
    }
    for (const int fd : {state_->inotify, state_->stop}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

const std::string& FileWatch::Problem() const {
    return state_->problem;
}
