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

CommandRunner::~CommandRunner() {
    for (auto& [command, running] : running_) {
        running->child->StopAwaiting();
        if (running->awaiter.joinable()) {
            running->awaiter.join();
        }
    }
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
    Running& watched = *running;
    watched.watch.store(Watch::NotAwaited);  // said at a later Run instead
    if (watched.child->CanAwaitEnd()) {
        try {
            watched.watch.store(Watch::Awaiting);
            watched.awaiter = std::thread([&watched, command] {
                if (watched.child->AwaitEnd()) {
                    std::string ended;
                    watched.child->Running(ended);  // reaps it
                    SayEnded(command, ended);
                    watched.watch.store(Watch::Ended);
                } else {
                    // Stopped, or the wait failed: a later Run looks for itself.
                    watched.watch.store(Watch::NotAwaited);
                }
            });
        } catch (const std::system_error&) {
            watched.watch.store(Watch::NotAwaited);
        }
    }
    running_[command] = std::move(running);
    return Outcome::Started;
}

void CommandRunner::Reap() {
    for (auto it = running_.begin(); it != running_.end();) {
        Running& running = *it->second;
        const Watch watch = running.watch.load();
        if (watch == Watch::Awaiting) {
            ++it;
            continue;
        }
        if (running.awaiter.joinable()) {
            running.awaiter.join();
        }
        if (watch == Watch::NotAwaited) {
            std::string ended;
            if (running.child->Running(ended)) {
                ++it;
                continue;
            }
            SayEnded(it->first, ended);
        }
        it = running_.erase(it);
    }
}
