// quorvel-send: a virtual infrared receiver. Sends the receiver's two-byte events to a
// pseudo-terminal of its own (for quorvel --port PATH) or to a serial device.
#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <memory>
#include <system_error>
#include <thread>

#include "log/untrusted_text.h"
#include "options/usage_problem.h"
#include "serial/serial_device.h"
#include "tools/bounded_line.h"
#include "tools/receiver_link.h"
#include "tools/receiver_script.h"
#include "tools/virtual_port.h"

namespace {

constexpr const char* Usage =
    "Usage: quorvel-send [--device PATH] [--link PATH] [--exit] [EVENT ...]\n"
    "\n"
    "A virtual infrared receiver. Without --device it creates a pseudo-terminal, prints\n"
    "its path on standard output and waits until a program opens it in raw mode\n"
    "(quorvel --port PATH) before sending.\n"
    "\n"
    "Events, from the command line or, when none are given, one line at a time from\n"
    "standard input (# starts a comment):\n"
    "  play prev next vol+ vol-   a key press\n"
    "  hold KEY N                 a press, then N repeat events 110 ms apart\n"
    "  raw B ...                  bytes as given, decimal or 0x hex (raw 0x91 0x2a)\n"
    "  wait MS                    a pause\n"
    "\n"
    "Options:\n"
    "  --device PATH   write to this serial device instead of a pseudo-terminal\n"
    "  --link PATH     also make PATH a symbolic link to the pseudo-terminal, for as\n"
    "                  long as it runs; an existing PATH is never replaced\n"
    "  --exit          leave when the events are sent; by default a pseudo-terminal\n"
    "                  stays open (closing it unplugs the receiver) until Ctrl-C\n"
    "  --help          show this text\n"
    "\n"
    "Exit status: 0 when every event was sent, 1 when an input line was rejected or the\n"
    "line was closed, 2 for a command line it cannot use.\n";

constexpr int Rejected = 1;
// No script line is near this long; a longer one is refused, never held or echoed whole.
constexpr std::size_t LongestLine = 64 * 1024;
constexpr int UsageError = 2;

int Fail(const std::string& message, int status) {
    std::cerr << "quorvel-send: " << message << '\n';
    return status;
}

bool Send(VirtualPort& port, const ParsedScript& script) {
    for (const ScriptStep& step : script.steps) {
        if (step.delayMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.delayMs));
        }
        if (!step.bytes.empty() && !port.Write(step.bytes)) {
            return false;
        }
    }
    return true;
}

struct Options {
    std::string device;
    std::string link;
    bool exitWhenDone = false;
    bool help = false;
    std::vector<std::string> words;
};

// Empty when the command line was understood, else what was wrong with it.
std::string Parse(int argc, char** argv, Options& options) {
    if (const std::string problem =
            FlagGivenAValue(std::vector<std::string>(argv + 1, argv + argc), {"--exit", "--help"});
        !problem.empty()) {
        return problem;
    }
    CLI::App app("", "quorvel-send");
    app.set_help_flag();
    app.add_flag("-h,--help", options.help);
    app.add_flag("--exit", options.exitWhenDone);
    for (const auto& [name, target] :
         {std::pair{"--device", &options.device}, std::pair{"--link", &options.link}}) {
        app.add_option(name, *target)->check([name = std::string(name)](const std::string& v) {
            return v.empty() || v[0] == '-' ? "option '" + name + "' needs a path" : std::string();
        });
    }
    app.add_option("events", options.words);
    app.allow_extras();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return UsageProblem(error, "path");
    }
    if (const auto extras = app.remaining(); !extras.empty()) {
        return "unknown option '" + extras.front().substr(0, extras.front().find('=')) +
               "' (see --help)";
    }
    return {};
}

// The port the events go to: the serial device, or else a pseudo-terminal of its own. Null,
// and why in error, when it cannot be had.
std::unique_ptr<VirtualPort> OpenPort(const std::string& device, std::string& error) {
    if (!device.empty()) {
        return VirtualPort::OpenDevice(device, error);
    }
    try {
        return VirtualPort::CreatePty();
    } catch (const std::system_error& failure) {
        error = failure.what();
        return nullptr;
    }
}

// Says where the pseudo-terminal is, and waits until a program reads it raw.
void AwaitReader(VirtualPort& port) {
    std::cout << port.readerPath() << std::endl;
    std::cerr << "quorvel-send: virtual receiver at " << port.readerPath()
              << "; waiting for a reader (quorvel --port " << port.readerPath() << ")" << std::endl;
    port.WaitForRawReader();
}

// How sending went.
struct SendResult {
    bool sent = true;       // false once the line was closed
    bool rejected = false;  // an input line was refused, and skipped
};

// Sends standard input's events, a line at a time; a line that cannot be understood is
// skipped, and the rest still sent.
SendResult SendInput(VirtualPort& port) {
    SendResult result;
    std::string line;
    bool tooLong = false;
    for (int n = 1; result.sent && ReadBoundedLine(std::cin, line, LongestLine, tooLong); ++n) {
        if (tooLong) {
            std::cerr << "quorvel-send: line " << n << ": longer than " << LongestLine
                      << " characters (not sent)\n";
            result.rejected = true;
            continue;
        }
        const ParsedScript script = ParseReceiverScript(SplitWords(line));
        if (!script.error.empty()) {
            std::cerr << "quorvel-send: line " << n << ": " << UntrustedText(script.error, 300)
                      << " (not sent)\n";
            result.rejected = true;
            continue;
        }
        result.sent = Send(port, script);
    }
    return result;
}

// Keeps the receiver plugged in until Ctrl-C (or a hang-up, or a request to end).
void WaitForQuit() {
    std::cerr << "quorvel-send: all sent; the receiver stays plugged in until Ctrl-C\n";
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&set, signal);
    }
    sigprocmask(SIG_BLOCK, &set, nullptr);
    int signal = 0;
    sigwait(&set, &signal);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::string problem = Parse(argc, argv, options); !problem.empty()) {
        return Fail(problem, UsageError);
    }
    if (options.help) {
        std::cout << Usage;
        return 0;
    }
    // Understand every word before anything goes out.
    const ParsedScript fromArgs = ParseReceiverScript(options.words);
    if (!fromArgs.error.empty()) {
        return Fail(fromArgs.error, UsageError);
    }
    // Writing into a file or a pipe would not reach a receiver and could block for ever.
    if (const std::string why = options.device.empty() ? "" : WhyNotASerialPort(options.device);
        !why.empty()) {
        return Fail(why, UsageError);
    }

    std::string error;
    const std::unique_ptr<VirtualPort> port = OpenPort(options.device, error);
    if (!port) {
        return Fail(error, Rejected);
    }
    std::unique_ptr<ReceiverLink> link;
    if (!options.link.empty()) {
        link = ReceiverLink::Make(options.link, port->readerPath(), error);
        if (!link) {
            return Fail(error, Rejected);
        }
    }
    if (options.device.empty()) {
        AwaitReader(*port);
    }

    const SendResult result =
        options.words.empty() ? SendInput(*port) : SendResult{Send(*port, fromArgs), false};
    if (!result.sent) {
        return Fail("the line was closed while sending", Rejected);
    }
    if (options.device.empty() && !options.exitWhenDone) {
        WaitForQuit();
    }
    port->Drain();
    return result.rejected ? Rejected : 0;
}
