#include "remote/command_runner.h"

#include "actions/player_log.h"
#include "log/untrusted_text.h"

CommandRunner::Outcome CommandRunner::Run(const std::string& command) {
    Reap();
    if (const auto found = running_.find(command); found != running_.end()) {
        if (!found->second.saidSkipped) {
            found->second.saidSkipped = true;
            QUORVEL_INFO(lcPlayer) << "\"" << UntrustedText(command)
                                   << "\" still runs; its key is skipped until it ends";
        }
        return Outcome::StillRunning;
    }
    const auto now = clock_();
    while (!starts_.empty() && now - starts_.front() >= std::chrono::seconds(1)) {
        starts_.pop_front();
    }
    if (starts_.size() >= static_cast<std::size_t>(MostPerSecond)) {
        if (!saidTooMany_) {
            saidTooMany_ = true;
            QUORVEL_WARNING(lcPlayer)
                << "more than " << MostPerSecond << " commands a second: \""
                << UntrustedText(command) << "\" and the keys after it are skipped for now";
        }
        return Outcome::TooMany;
    }
    saidTooMany_ = false;
    // A start that fails counts too: a failing fork is no reason to try faster.
    starts_.push_back(now);
    std::string error;
    std::unique_ptr<ChildCommand> child = start_(command, error);
    if (!child) {
        QUORVEL_WARNING(lcPlayer) << "cannot run \"" << UntrustedText(command)
                                  << "\": " << UntrustedText(error, 1000);
        return Outcome::Failed;
    }
    running_[command] = Running{std::move(child)};
    return Outcome::Started;
}

void CommandRunner::Reap() {
    for (auto it = running_.begin(); it != running_.end();) {
        std::string ended;
        if (it->second.child->Running(ended)) {
            ++it;
            continue;
        }
        if (!ended.empty()) {
            QUORVEL_WARNING(lcPlayer) << "\"" << UntrustedText(it->first) << "\" " << ended;
        }
        it = running_.erase(it);
    }
}
