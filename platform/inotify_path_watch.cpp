#include <sys/inotify.h>

#include "platform/inotify_plan.h"
#include "platform/path_watch.h"

namespace {

// Made, renamed into place (as udev makes its links), given new permissions, or gone.
constexpr std::uint32_t Mask =
    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

struct PathWatch::Plan : InotifyPlan {
    explicit Plan(const std::filesystem::path& path) : InotifyPlan(path, Mask, true, false) {}
};

PathWatch::PathWatch(EventLoop& loop, const std::filesystem::path& path,
                     std::function<void()> onChange)
    : plan_(std::make_unique<Plan>(path)), onChange_(std::move(onChange)) {
    problem_ = plan_->Arm();
    if (plan_->Fd() < 0) {
        return;
    }
    watch_ = loop.WatchHandle(plan_->Fd(), [this] {
        if (plan_->TakeEvents()) {
            // What is watched follows what changed: a folder made, a link made.
            problem_ = plan_->Arm();
            onChange_();
        }
    });
}

PathWatch::~PathWatch() {
    watch_.reset();  // out of the loop before its descriptor closes
}
