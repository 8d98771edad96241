#include "receiver/command_runner.h"

#include <system_error>

#include "log/untrusted_text.h"
#include "receiver/remote_log.h"

namespace {

// How the command ended, if badly.
void SayEnded(const std::string& command, const std::string& ended) {
    if (!ended.empty()) {
        QUORVEL_WARNING(lcRemote) << "\"" << UntrustedText(command) << "\" " << ended;
    }
}

}  // namespace

// The watches go before the loop, which the runner's owner keeps longer; the children run
// on, and the system reaps them when the program has gone.
CommandRunner::~CommandRunner() = default;

void CommandRunner::Attach(EventLoop& loop) {
    loop_ = &loop;
    for (auto& [command, running] : running_) {
        Watch(command, *running);
    }
}

void CommandRunner::Watch(const std::string& command, Running& running) {
    const EventLoop::Handle end = running.child->EndHandle();
#ifdef _WIN32
    const bool none = end == nullptr;
#else
    const bool none = end < 0;
#endif
    if (loop_ == nullptr || none) {
        return;  // a later Run looks for itself
    }
    running.end = loop_->WatchHandle(end, [this, command] {
        const auto found = running_.find(command);
        std::string ended;
        if (found == running_.end() || found->second->child->Running(ended)) {
            return;
        }
        SayEnded(command, ended);
        // The watch goes with it, after its callback: the loop runs a copy.
        running_.erase(found);
    });
}

CommandRunner::Outcome CommandRunner::Run(const std::string& command) {
    Reap();
    if (const auto found = running_.find(command); found != running_.end()) {
        whyNotStarted_ =
            '"' + UntrustedText(command) + "\" still runs; its key is skipped until it ends";
        if (!found->second->saidSkipped) {
            found->second->saidSkipped = true;
            QUORVEL_INFO(lcRemote) << whyNotStarted_;
        }
        return Outcome::StillRunning;
    }
    const auto now = clock_();
    while (!starts_.empty() && now - starts_.front() >= std::chrono::seconds(1)) {
        starts_.pop_front();
    }
    if (starts_.size() >= static_cast<std::size_t>(MostPerSecond)) {
        whyNotStarted_ = "more than " + std::to_string(MostPerSecond) + " commands a second: \"" +
                         UntrustedText(command) + "\" and the keys after it are skipped for now";
        if (!saidTooMany_) {
            saidTooMany_ = true;
            QUORVEL_WARNING(lcRemote) << whyNotStarted_;
        }
        return Outcome::TooMany;
    }
    saidTooMany_ = false;
    // A start that fails counts too: a failing fork is no reason to try faster.
    starts_.push_back(now);
    std::string error;
    std::unique_ptr<ChildCommand> child = start_(command, error);
    if (!child) {
        whyNotStarted_ =
            "cannot run \"" + UntrustedText(command) + "\": " + UntrustedText(error, 1000);
        QUORVEL_WARNING(lcRemote) << whyNotStarted_;
        return Outcome::Failed;
    }
    auto running = std::make_unique<Running>();
    running->child = std::move(child);
    Watch(command, *running);
    running_[command] = std::move(running);
    return Outcome::Started;
}

void CommandRunner::Reap() {
    for (auto it = running_.begin(); it != running_.end();) {
        std::string ended;
        if (it->second->child->Running(ended)) {
            ++it;
            continue;
        }
        SayEnded(it->first, ended);
        it = running_.erase(it);
    }
}
