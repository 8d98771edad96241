#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
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
    std::function<void()> onChange;
    std::string problem;
    std::string said;  // the last problem said
    std::unique_ptr<EventLoop::Watch> events;
    std::unique_ptr<EventLoop::Timer> gather;

    void Read() {
        if (plan.TakeEvents()) {
            gather->Set(EventLoop::Clock::now() + std::chrono::milliseconds(GatherMs));
        }
    }

    // Quiet since the last event: the save is done.
    void Done() {
        // A folder made or gone changes what is watched; the file may have been saved
        // before its folder was.
        if (const std::string why = plan.Arm(); why != said) {
            if (!why.empty()) {
                QUORVEL_WARNING(lcPlatform) << "file watch: " << why;
            }
            said = why;
        }
        onChange();
    }
};

FileWatch::FileWatch(EventLoop& loop, const std::filesystem::path& file,
                     std::function<void()> onChange)
    : state_(std::make_unique<State>(file)) {
    state_->onChange = std::move(onChange);
    if (state_->plan.Fd() < 0) {
        state_->problem = state_->plan.Problem();
        return;
    }
    // Armed before the constructor returns, so no save after it is missed.
    state_->problem = state_->plan.Arm();
    state_->said = state_->problem;
    State* state = state_.get();
    state_->gather = loop.MakeTimer([state] { state->Done(); });
    state_->events = loop.WatchHandle(state_->plan.Fd(), [state] { state->Read(); });
}

FileWatch::~FileWatch() = default;

const std::string& FileWatch::Problem() const {
    return state_->problem;
}
