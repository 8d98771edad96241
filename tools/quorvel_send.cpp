// quorvel-send: a virtual infrared receiver. Sends the receiver's two-byte events to a
// pseudo-terminal of its own (for quorvel --port PATH) or to a serial device.
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <system_error>
#include <thread>

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
    "standard input:\n"
    "  play prev next vol+ vol-   a key press\n"
    "  hold KEY N                 a press, then N repeat events 110 ms apart\n"
    "  raw B ...                  bytes as given, decimal or 0x hex (raw 0x91 0x2a)\n"
    "  wait MS                    a pause\n"
    "\n"
    "Options:\n"
    "  --device PATH   write to this serial device instead of a pseudo-terminal\n"
    "  --link PATH     also make PATH a symbolic link to the pseudo-terminal\n"
    "  --exit          leave when the events are sent; by default a pseudo-terminal\n"
    "                  stays open (closing it unplugs the receiver) until Ctrl-C\n"
    "  --help          show this text\n";

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

}  // namespace

int main(int argc, char** argv) {
    std::string device;
    std::string link;
    bool exitWhenDone = false;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return 0;
        } else if (arg == "--device" || arg == "--link") {
            if (i + 1 >= argc) {
                return Fail(arg + " needs a path (see --help)", 2);
            }
            (arg == "--device" ? device : link) = argv[++i];
        } else if (arg == "--exit") {
            exitWhenDone = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "vol-") {
            return Fail("unknown option '" + arg + "' (see --help)", 2);
        } else {
            words.push_back(arg);
        }
    }

    // Understand every word before anything goes out.
    const ParsedScript fromArgs = ParseReceiverScript(words);
    if (!fromArgs.error.empty()) {
        return Fail(fromArgs.error, 2);
    }

    std::unique_ptr<VirtualPort> port;
    std::string error;
    try {
        port = device.empty() ? VirtualPort::CreatePty() : VirtualPort::OpenDevice(device, error);
    } catch (const std::system_error& failure) {
        error = failure.what();
    }
    if (!port) {
        return Fail(error, 1);
    }
    if (!link.empty()) {
        ::unlink(link.c_str());
        if (::symlink(port->readerPath().c_str(), link.c_str()) != 0) {
            return Fail("cannot make link " + link + ": " + std::strerror(errno), 1);
        }
    }
    if (device.empty()) {
        std::cout << port->readerPath() << std::endl;
        std::cerr << "quorvel-send: virtual receiver at " << port->readerPath()
                  << "; waiting for a reader (quorvel --port " << port->readerPath() << ")"
                  << std::endl;
        port->WaitForRawReader();
    }

    bool ok = true;
    if (!words.empty()) {
        ok = Send(*port, fromArgs);
    } else {
        std::string line;
        for (int n = 1; ok && std::getline(std::cin, line); ++n) {
            const ParsedScript script = ParseReceiverScript(SplitWords(line));
            if (!script.error.empty()) {
                std::cerr << "quorvel-send: line " << n << ": " << script.error << " (not sent)\n";
                continue;
            }
            ok = Send(*port, script);
        }
    }
    if (!ok) {
        return Fail("the line was closed while sending", 1);
    }

    if (device.empty() && !exitWhenDone) {
        std::cerr << "quorvel-send: all sent; the receiver stays plugged in until Ctrl-C\n";
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        sigprocmask(SIG_BLOCK, &set, nullptr);
        int sig = 0;
        sigwait(&set, &sig);
    }
    port->Drain();
    if (!link.empty()) {
        ::unlink(link.c_str());
    }
    return 0;
}
