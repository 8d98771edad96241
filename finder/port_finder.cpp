#include "finder/port_finder.h"

#include <algorithm>

#include "finder/port_candidates.h"
#include "finder/press_tally.h"
#include "log/untrusted_text.h"
#include "options/settings_file.h"
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
                              const std::function<void()>& askAgain) {
    PressTally tally;
    std::vector<bool> ended(names_.size(), false);
    bool asked = false;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!tally.Found() && std::find(ended.begin(), ended.end(), false) != ended.end()) {
        const ReceiverLoop::Taken taken = loop_->Take(deadline);
        if (std::holds_alternative<TimedOut>(taken.item)) {
            break;
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
            deadline = std::chrono::steady_clock::now() + limit;
        }
    }
    const std::string found = tally.Found() ? names_[*tally.Found()] : std::string();
    // Listening ends: the ports close, and can be opened again.
    loop_ = std::make_unique<ReceiverLoop>();
    names_.clear();
    return found;
}

namespace {

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + UntrustedText(name);
    }
    return text;
}

}  // namespace

FoundRemote FindPortSession(const std::vector<std::string>& candidates,
                            const std::vector<RemoteCandidate>& others, std::istream& in, bool ask,
                            std::ostream& out, std::ostream& err, const PortKeeping& keeping,
                            std::chrono::milliseconds limit) {
    const std::vector<PortListing::Port> listed = PortListing::Ports();
    const std::vector<std::string> tried =
        candidates.empty() ? PortCandidates::Choose(listed) : candidates;
    if (tried.empty() && others.empty()) {
        err << "quorvel: no serial ports found: is the receiver plugged in?\n";
        return {};
    }
    PortFinder finder;
    std::vector<std::string> listening = finder.Listen(tried);
    for (const RemoteCandidate& other : others) {
        if (finder.ListenTo(other.label, other.make())) {
            listening.push_back(other.label);
        }
    }
    for (const std::string& problem : finder.Problems()) {
        out << "Not listening: " << problem << '\n';
    }
    if (listening.empty()) {
        err << "quorvel: none of the serial ports" << (others.empty() ? "" : " or remotes")
            << " can be listened on\n";
        return {};
    }
    out << "Listening on " << Listed(listening) << ".\nPress any key on the remote..." << std::endl;
    const char* const ports = others.empty() ? "port" : "port or remote";
    const std::string heard = finder.Await(limit, [&out, ports] {
        out << "More than one " << ports
            << " is sending: press a key again, to be sure which one the receiver is on..."
            << std::endl;
    });
    if (heard.empty()) {
        err << "quorvel: no key arrived on any " << ports << " within "
            << std::chrono::duration_cast<std::chrono::seconds>(limit).count() << " s\n";
        return {};
    }
    const auto other = std::find_if(others.begin(), others.end(),
                                    [&](const RemoteCandidate& c) { return c.label == heard; });
    FoundRemote found{"port",
                      PortCandidates::StableName(heard, PortListing::Resolve(heard), listed)};
    std::string what = "port";
    if (other != others.end()) {
        found = {other->setting, other->value};
        what = other->setting == "lircd"  ? "lircd socket"
               : other->setting == "mqtt" ? "broker"
                                          : "input device";
        out << "Found the remote on " << UntrustedText(heard) << ".\n";
    } else {
        out << "Found the receiver on " << UntrustedText(found.value) << ".\n";
    }

    // Quoted when the settings file would misread it ("my #port"); none holds a line break.
    const std::string line = SettingLine(found.setting, found.value);
    if (keeping.save && ask) {
        out << "Save it as a " << what << " in " << UntrustedText(keeping.where)
            << ": beside the key sources there (a), in their place (r), or not (n)? [a/r/N] "
            << std::flush;
        std::string answer;
        std::getline(in, answer);
        const char first = answer.empty() ? 'n' : static_cast<char>(answer.front() | 0x20);
        if (first == 'a' || first == 'y' || first == 'r') {
            std::string problem;
            if (keeping.save(found.setting, found.value, first != 'r', problem)) {
                out << "Saved.\n";
            } else {
                err << "quorvel: " << problem << '\n';
            }
        }
    } else if (!line.empty()) {
        out << "To use it from now on, add this line to " << UntrustedText(keeping.where)
            << " (beside the key sources there, or in place of their port, lircd and input "
               "lines):\n  "
            << UntrustedText(line, 1000) << '\n';
    } else {
        out << "Its name cannot be kept in " << UntrustedText(keeping.where) << ": give it with --"
            << found.setting << ".\n";
    }
    return found;
}
