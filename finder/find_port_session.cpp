#include "finder/find_port_session.h"

#include <algorithm>

#include "finder/port_candidates.h"
#include "log/untrusted_text.h"
#include "options/settings_file.h"
#include "serial/serial_line.h"

namespace {

// A line of ours around a value found: longer than one untrusted piece.
constexpr std::size_t LineLimit = 1000;

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + UntrustedText(name);
    }
    return text;
}

// After a time-out: what else may find it. named: the ports were the user's choice;
// refused: some could not be listened on.
void SayWhatNext(std::ostream& err, bool named, bool refused) {
    err << "What to try next:\n"
           "  - point the remote at the receiver, hold a key down a moment, and run it again\n";
    if (refused) {
#ifdef _WIN32
        err << "  - a port not listened on above: end the program that holds it\n";
#else
        err << "  - a port not listened on above: if it was refused, the dialout group may\n"
               "    open it (sudo usermod -aG dialout $USER, then log in again)\n";
#endif
    }
#ifdef _WIN32
    err << "  - another port: quorvel --find-port COMn\n";
#else
    err << "  - another port: quorvel --find-port DEVICE\n";
#endif
    if (named) {
        err << "  - every port and remote here: quorvel --find-remote\n";
    }
}

// The line that keeps found, for the user to add.
void SayLine(std::ostream& out, const FoundRemote& found, const PortKeeping& keeping) {
    // Quoted when the settings file would misread it ("my #port"); none holds a line break.
    const std::string line = SettingLine(found.setting, found.value);
    const std::string where = UntrustedText(keeping.where);
    if (line.empty()) {
        out << "Its name cannot be kept in " << where << ": give it with --" << found.setting
            << ".\n";
        return;
    }
    out << "To use it from now on, " << (keeping.exists ? "add this line to " : "put this line in ")
        << where
        << (!keeping.exists   ? " (a new file)"
            : keeping.sources ? " (beside the key sources there, or in place of their port, "
                                "lircd and input lines)"
                              : "")
        << ":\n  " << UntrustedText(line, LineLimit) << '\n';
}

// Offers to keep found (what: "port", "lircd socket"...) as the user answers.
void Keep(const FoundRemote& found, const std::string& what, const FinderTerminal& terminal,
          const PortKeeping& keeping) {
    if (!keeping.save || !terminal.ask || SettingLine(found.setting, found.value).empty()) {
        SayLine(terminal.out, found, keeping);
        return;
    }
    const std::string where = UntrustedText(keeping.where);
    terminal.out << "Save it as a " << what;
    if (keeping.sources) {
        terminal.out << " in " << where
                     << ": beside the key sources there (a or y), in their place (r), or not "
                        "(n)? [a/r/N] ";
    } else {
        terminal.out << (keeping.exists ? " in " : " in a new settings file, ") << where
                     << "? [y/N] ";
    }
    terminal.out << std::flush;
    const std::string typed = terminal.answer ? terminal.answer().value_or("") : "";
    const char first = typed.empty() ? 'n' : static_cast<char>(typed.front() | 0x20);
    if (first != 'a' && first != 'y' && first != 'r') {
        terminal.out << "Not saved. ";
        SayLine(terminal.out, found, keeping);
        return;
    }
    std::string problem;
    if (keeping.save(found.setting, found.value, first != 'r', problem)) {
        terminal.out << "Saved.\n";
    } else {
        terminal.err << "quorvel: " << problem << '\n';
    }
}

// Waits for a key on what finder listens on; the one it came on, empty when none came.
std::string AwaitKey(PortFinder& finder, const FinderTerminal& terminal, const char* ports,
                     std::chrono::milliseconds limit) {
    std::string waiting = "Press any key on the remote...";
    const auto left = [&](std::chrono::seconds seconds) {
        terminal.out << '\r' << waiting << ' ' << seconds.count() << " s " << std::flush;
    };
    if (terminal.countdown) {
        left(std::chrono::ceil<std::chrono::seconds>(limit));
    } else {
        terminal.out << waiting << std::endl;
    }
    const std::string heard = finder.Await(
        limit,
        [&] {
            waiting = std::string("More than one ") + ports +
                      " is sending: press a key again, to be sure which one the receiver is "
                      "on...";
            if (terminal.countdown) {
                terminal.out << '\n';
                left(std::chrono::ceil<std::chrono::seconds>(limit));
            } else {
                terminal.out << waiting << std::endl;
            }
        },
        terminal.countdown ? std::function<void(std::chrono::seconds)>(left) : nullptr);
    if (terminal.countdown) {
        terminal.out << '\n';
    }
    return heard;
}

}  // namespace

FoundRemote FindPortSession(const std::vector<std::string>& candidates,
                            const std::vector<RemoteCandidate>& others,
                            const FinderTerminal& terminal, const PortKeeping& keeping,
                            std::chrono::milliseconds limit) {
    const std::vector<PortListing::Port> listed = PortListing::Ports();
    const std::vector<std::string> tried =
        candidates.empty() ? PortCandidates::Choose(listed) : candidates;
    if (tried.empty() && others.empty()) {
        terminal.err << "quorvel: no serial ports found: is the receiver plugged in?\n";
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
        terminal.out << "Not listening: " << problem << '\n';
    }
    if (listening.empty()) {
        terminal.err << "quorvel: none of the serial ports" << (others.empty() ? "" : " or remotes")
                     << " can be listened on\n";
        return {};
    }
    terminal.out << "Listening on " << Listed(listening) << ".\n";
    const char* const ports = others.empty() ? "port" : "port or remote";
    const std::string heard = AwaitKey(finder, terminal, ports, limit);
    if (heard.empty()) {
        terminal.err << "quorvel: no key arrived on any " << ports << " within "
                     << std::chrono::duration_cast<std::chrono::seconds>(limit).count() << " s\n";
        SayWhatNext(terminal.err, !candidates.empty(), !finder.Problems().empty());
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
        terminal.out << "Found the remote on " << UntrustedText(heard) << ".\n";
    } else {
        terminal.out << "Found the receiver on " << UntrustedText(found.value) << ".\n";
    }
    Keep(found, what, terminal, keeping);
    return found;
}
