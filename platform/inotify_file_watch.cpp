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
#include "platform/inotify_plan.h"
#include "platform/platform_log.h"

namespace {

// The events of one save (a write, then a rename, say) come within this.
constexpr int GatherMs = 50;

constexpr std::uint32_t Mask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                               IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

struct FileWatch::State {
    explicit State(const std::filesystem::path& file) : plan(file, Mask, false) {}

    InotifyPlan plan;
    int stop = -1;  // an eventfd: the destructor's wake-up
    std::function<void()> onChange;
    std::string problem;
    std::thread thread;

    void Run() {
        pollfd fds[2] = {{stop, POLLIN, 0}, {plan.Fd(), POLLIN, 0}};
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
                pending = plan.TakeEvents() || pending;
                continue;
            }
            if (pending) {  // quiet since the last event: the save is done
                pending = false;
                // A folder made or gone changes what is watched; the file may have been
                // saved before its folder was.
                if (const std::string why = plan.Arm(); why != said) {
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
    : state_(std::make_unique<State>(file)) {
    state_->onChange = std::move(onChange);
    state_->stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->plan.Fd() < 0 || state_->stop < 0) {
        state_->problem = state_->plan.Fd() < 0
                              ? state_->plan.Problem()
                              : std::string("cannot watch files: ") + std::strerror(errno);
        return;
    }
    // Armed before the constructor returns, so no save after it is missed.
    state_->problem = state_->plan.Arm();
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
    if (state_->stop >= 0) {
        ::close(state_->stop);
    }
}

const std::string& FileWatch::Problem() const {
    return state_->problem;
}
