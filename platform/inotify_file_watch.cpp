#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "log/untrusted_text.h"
#include "platform/file_watch.h"
#include "platform/platform_log.h"

namespace {

// The events of one save (a write, then a rename, say) come within this.
constexpr int GatherMs = 50;

}  // namespace

struct FileWatch::State {
    int inotify = -1;
    int stop = -1;  // an eventfd: the destructor's wake-up
    std::string name;
    std::function<void()> onChange;
    std::string problem;
    std::thread thread;

    // True when the events read name the file; false too when there were none.
    bool TakeEvents() {
        alignas(inotify_event) char buffer[4096];
        bool named = false;
        for (ssize_t got; (got = ::read(inotify, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && name == event->name) {
                    named = true;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return named;
    }

    void Run() {
        pollfd fds[2] = {{stop, POLLIN, 0}, {inotify, POLLIN, 0}};
        bool pending = false;
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
                onChange();
            }
        }
    }
};

FileWatch::FileWatch(const std::filesystem::path& file, std::function<void()> onChange)
    : state_(std::make_unique<State>()) {
    std::string folder = file.parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    state_->name = file.filename().string();
    state_->onChange = std::move(onChange);
    state_->inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    state_->stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->inotify < 0 || state_->stop < 0 ||
        ::inotify_add_watch(state_->inotify, folder.c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_ONLYDIR) < 0) {
        state_->problem = "cannot watch " + UntrustedText(folder) + ": " + std::strerror(errno);
        return;
    }
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
