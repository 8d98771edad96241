#include "tests/player/stand_in_process.h"

#include <csignal>
#include <sstream>

#include "tests/player/private_bus.h"

namespace {

// Generous, so a loaded machine never looks like a fault; reached only when one is.
constexpr std::chrono::seconds Deadline(30);

}  // namespace

StandInProcess::StandInProcess(const PrivateBus& bus, StandInSetup setup)
    : bus_(bus), setup_(std::move(setup)) {}

std::string StandInProcess::BusName() const {
    return "org.mpris.MediaPlayer2." + setup_.name;
}

bool StandInProcess::Start() {
    std::ostringstream volume;
    volume.precision(17);
    volume << setup_.volume;
    std::vector<std::string> argv{QUORVEL_STAND_IN_PATH, bus_.Address(),  setup_.name,
                                  "--identity",          setup_.identity, "--status",
                                  setup_.status,         "--volume",      volume.str()};
    if (!setup_.replies) {
        argv.push_back("--silent");
    }
    process_.emplace();
    taken_ = 0;
    ready_ = false;
    if (!process_->Start({argv, {}, true, {}})) {
        return false;
    }
    process_->WaitForLines(1, Deadline);
    Take();
    return ready_ && bus_.WaitForOwner(BusName(), true);
}

bool StandInProcess::Kill() {
    if (process_) {
        process_->Signal(SIGCONT);
        process_->Stop(SIGKILL);
        Take();
    }
    return bus_.WaitForOwner(BusName(), false);
}

void StandInProcess::Freeze() {
    if (process_) {
        process_->Signal(SIGSTOP);
    }
}

bool StandInProcess::Thaw() {
    if (process_) {
        process_->Signal(SIGCONT);
    }
    return bus_.WaitForAnswer(BusName());
}

bool StandInProcess::Do(const std::string& method) {
    return bus_.CallPlayer(BusName(), method);
}

void StandInProcess::Take() {
    if (!process_) {
        return;
    }
    for (ChildLine& line : process_->Lines(taken_)) {
        ++taken_;
        if (line.text == "ready") {
            ready_ = true;
            continue;
        }
        const std::size_t space = line.text.find(' ');
        StandInRequest request{line.text.substr(space + 1), std::stoll(line.text.substr(0, space))};
        if (request.text.rfind("? ", 0) != 0) {
            calls_.push_back(requests_.size());
        }
        requests_.push_back(std::move(request));
    }
}

std::vector<std::string> StandInProcess::Calls() {
    Take();
    std::vector<std::string> calls;
    for (const std::size_t i : calls_) {
        calls.push_back(requests_[i].text);
    }
    return calls;
}

std::vector<std::string> StandInProcess::WaitForCalls(std::size_t count) {
    if (count > 0) {
        WaitForCall(count - 1, Deadline);
    }
    return Calls();
}

std::vector<StandInRequest> StandInProcess::Requests() {
    Take();
    return requests_;
}

std::optional<StandInRequest> StandInProcess::WaitForCall(std::size_t index,
                                                          std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Take();
    while (calls_.size() <= index && process_) {
        const auto left = deadline - std::chrono::steady_clock::now();
        // No new line: the time is up, or the output has ended.
        if (left <= left.zero() ||
            process_->WaitForLines(taken_ + 1,
                                   std::chrono::ceil<std::chrono::milliseconds>(left)) <= taken_) {
            break;
        }
        Take();
    }
    if (calls_.size() <= index) {
        return std::nullopt;
    }
    return requests_[calls_[index]];
}
