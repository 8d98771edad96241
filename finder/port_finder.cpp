#include "finder/port_finder.h"

#include <algorithm>

#include "finder/port_candidates.h"
#include "finder/press_tally.h"
#include "log/untrusted_text.h"
#include "serial/serial_line.h"

PortFinder::PortFinder(DeviceMaker makeDevice)
    : makeDevice_(std::move(makeDevice)), loop_(std::make_unique<ReceiverLoop>()) {}

PortFinder::~PortFinder() = default;

std::vector<std::string> PortFinder::Listen(const std::vector<std::string>& candidates) {
    std::vector<std::string> listening;
    for (const std::string& name : candidates) {
        std::string why = WhyNotASerialPort(name);
        if (why.empty()) {
            if (const std::string locked = PortListing::WhyLocked(name); !locked.empty()) {
                why = UntrustedText(name) + ": " + locked;
            }
        }
        auto line = why.empty() ? std::make_unique<SerialLine>(name, makeDevice_()) : nullptr;
        if (line) {
            // The receiver's own open: exclusive, so a port another program has is refused.
            line->Open();
            if (const auto problems = line->Configure(); !problems.empty()) {
                why = problems.front().kind == SourceCondition::Kind::CannotConfigure
                          ? UntrustedText(name) + ": its line cannot be set up as a serial port's"
                          : problems.front().reason;
            }
        }
        if (!why.empty()) {
            problems_.push_back(why);
            continue;
        }
        names_.push_back(name);
        loop_->Attach(std::move(line));
        listening.push_back(name);
    }
    return listening;
}

bool PortFinder::ListenTo(const std::string& name, std::unique_ptr<KeySource> source) {
    source->Open();
    std::vector<SourceCondition> problems = source->Configure();
    if (problems.empty()) {
        names_.push_back(name);
        // A broker's first attempt goes on on the loop, awaited as at the receiver's start;
        // when it fails, the broker is tried again meanwhile, but is not said to be listened to.
        problems = loop_->Settle(loop_->Attach(std::move(source)));
    }
    if (!problems.empty()) {
        problems_.push_back(problems.front().reason);
        return false;
    }
    return true;
}

std::string PortFinder::Await(std::chrono::milliseconds limit,
                              const std::function<void()>& askAgain,
                              const std::function<void(std::chrono::seconds left)>& tick) {
    using Clock = std::chrono::steady_clock;
    constexpr auto Second = std::chrono::seconds(1);
    PressTally tally;
    std::vector<bool> ended(names_.size(), false);
    bool asked = false;
    auto deadline = Clock::now() + limit;
    auto nextTick = Clock::now() + Second;
    while (!tally.Found() && std::find(ended.begin(), ended.end(), false) != ended.end()) {
        const ReceiverLoop::Taken taken =
            loop_->Take(tick ? std::min(deadline, nextTick) : deadline);
        const auto now = Clock::now();
        if (tick && now >= nextTick && now < deadline) {
            tick(std::chrono::ceil<std::chrono::seconds>(deadline - now));
            while (nextTick <= now) {
                nextTick += Second;
            }
        }
        if (std::holds_alternative<TimedOut>(taken.item)) {
            if (now >= deadline) {
                break;
            }
            continue;
        }
        const auto* condition = std::get_if<SourceCondition>(&taken.item);
        if (const auto* broken = std::get_if<BrokenEvent>(&taken.item)) {
            condition = &broken->why;
        }
        if (condition != nullptr && condition->kind == SourceCondition::Kind::Back) {
            continue;
        }
        if (condition != nullptr && condition->kind != SourceCondition::Kind::LineError) {
            ended[taken.source] = true;  // the port lost: it is not the receiver's any more
            continue;
        }
        // Anything else came from it: an event, a stray or damaged byte.
        const auto* event = std::get_if<KeyEvent>(&taken.item);
        tally.Heard(taken.source, event != nullptr && event->action == KeyAction::Press);
        if (tally.AgainWanted() && !asked && !tally.Found()) {
            asked = true;
            if (askAgain) {
                askAgain();
            }
            deadline = Clock::now() + limit;
            nextTick = Clock::now() + Second;
        }
    }
    const std::string found = tally.Found() ? names_[*tally.Found()] : std::string();
    // Listening ends: the ports close, and can be opened again.
    loop_ = std::make_unique<ReceiverLoop>();
    names_.clear();
    return found;
}
