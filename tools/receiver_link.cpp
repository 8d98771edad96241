#include "tools/receiver_link.h"

#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "log/untrusted_text.h"

namespace {

// Read by the signal handler, so fixed buffers rather than strings.
char linkPath[PATH_MAX];
char linkTarget[PATH_MAX];
volatile std::sig_atomic_t linked = 0;

constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Async-signal-safe: removes the link only if it still points where we made it point.
void RemoveIfOurs() {
    if (linked == 0) {
        return;
    }
    linked = 0;
    char now[PATH_MAX];
    const ssize_t n = ::readlink(linkPath, now, sizeof now - 1);
    if (n >= 0 && static_cast<std::size_t>(n) == std::strlen(linkTarget) &&
        std::memcmp(now, linkTarget, static_cast<std::size_t>(n)) == 0) {
        ::unlink(linkPath);
    }
}

}  // namespace

std::unique_ptr<ReceiverLink> ReceiverLink::Make(const std::string& path, const std::string& target,
                                                 std::string& error) {
    if (path.size() >= sizeof linkPath || target.size() >= sizeof linkTarget) {
        error = "cannot make link " + UntrustedText(path) + ": name too long";
        return nullptr;
    }
    // A signal between making the link and handling signals would leave the link behind:
    // held back until both are done.
    sigset_t ending;
    sigset_t before;
    sigemptyset(&ending);
    for (const int signal : EndingSignals) {
        sigaddset(&ending, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    struct Restore {
        const sigset_t& mask;
        ~Restore() { ::pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{before};
    // symlink never replaces what is there, so nobody's file is ever lost to a typo.
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        error = errno == EEXIST
                    ? UntrustedText(path) +
                          " already exists; not replacing it (remove it first, "
                          "or choose another --link)"
                    : "cannot make link " + UntrustedText(path) + ": " + std::strerror(errno);
        return nullptr;
    }
    std::strcpy(linkPath, path.c_str());
    std::strcpy(linkTarget, target.c_str());
    linked = 1;
    struct sigaction action {};
    action.sa_handler = &ReceiverLink::RemoveOnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : EndingSignals) {
        sigaction(signal, &action, nullptr);
    }
    return std::unique_ptr<ReceiverLink>(new ReceiverLink());
}

ReceiverLink::~ReceiverLink() {
    RemoveIfOurs();
}

void ReceiverLink::RemoveOnSignal(int signal) {
    RemoveIfOurs();
    // Then end as the signal would have ended the program.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}
