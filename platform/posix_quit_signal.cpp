#include "platform/quit_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <thread>

#include "platform/platform_log.h"

namespace {

// Read by the signal handler: lock-free atomics are safe there.
std::atomic<int> wakeFd{-1};
std::atomic<bool> quitting{false};
std::atomic<bool> reloadOnHangup{false};
// Which of standard input, output and error were terminals when the signals were taken.
std::atomic<int> terminalFds{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

constexpr int QuitSignals[] = {SIGINT, SIGTERM, SIGHUP};
// What the handler writes into the self-pipe.
constexpr char QuitByte = 'q';
constexpr char ReloadByte = 'r';

// Async-signal-safe: a terminal that has hung up answers every request with EIO.
bool TerminalHungUp() {
    const int fds = terminalFds.load();
    for (int fd = 0; fd < 3; ++fd) {
        termios settings{};
        if ((fds & (1 << fd)) != 0 && ::tcgetattr(fd, &settings) != 0 && errno == EIO) {
            return true;
        }
    }
    return false;
}

void WakeUp(int fd, char byte = QuitByte) {
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    if (::write(fd, &byte, 1) < 0) {
    }
}

void Handle(int signal) {
    if (signal == SIGHUP && reloadOnHangup.load()) {
        const int savedErrno = errno;
        const int fd = wakeFd.load();
        if (!TerminalHungUp()) {
            if (fd >= 0) {
                WakeUp(fd, ReloadByte);
            }
            errno = savedErrno;
            return;
        }
        errno = savedErrno;
    }
    // A second signal while the first one's shutdown runs: the user means it, end now.
    if (quitting.exchange(true)) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const int savedErrno = errno;
    if (const int fd = wakeFd.load(); fd >= 0) {
        WakeUp(fd);
    }
    errno = savedErrno;
}

}  // namespace

struct QuitSignal::State {
    int fds[2] = {-1, -1};  // a self-pipe: the handler writes, Wait reads
    struct sigaction old[std::size(QuitSignals)]{};
    std::function<void()> onQuit;
    std::function<void()> onReload;
    std::thread watcher;  // calls onQuit; only when there is one
    std::atomic<bool> closing{false};

    struct Requests {
        bool quit = false;
        bool reload = false;
    };

    // Blocks until a request; false when the pipe is gone.
    bool AwaitRequest(Requests& requests) {
        requests = {};
        pollfd fd{fds[0], POLLIN, 0};
        while (::poll(&fd, 1, -1) < 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        char bytes[16];
        for (ssize_t got; (got = ::read(fds[0], bytes, sizeof bytes)) > 0;) {
            for (ssize_t i = 0; i < got; ++i) {
                (bytes[i] == ReloadByte ? requests.reload : requests.quit) = true;
            }
        }
        return true;
    }

    void Reload() {
        QUORVEL_DEBUG(lcPlatform) << "signals: reloading on SIGHUP";
        if (onReload) {
            onReload();
        }
    }
};

QuitSignal::QuitSignal(std::function<void()> onQuit, std::function<void()> onReload)
    : state_(std::make_unique<State>()) {
    state_->onQuit = std::move(onQuit);
    state_->onReload = std::move(onReload);
    if (::pipe2(state_->fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        QUORVEL_WARNING(lcPlatform) << "signals: no pipe (" << std::strerror(errno)
                                    << "), SIGINT, SIGTERM and SIGHUP end the program abruptly";
        state_->fds[0] = state_->fds[1] = -1;
        return;
    }
    wakeFd.store(state_->fds[1]);
    quitting.store(false);
    int terminals = 0;
    for (int fd = 0; fd < 3; ++fd) {
        terminals |= ::isatty(fd) == 1 ? 1 << fd : 0;
    }
    terminalFds.store(terminals);
    reloadOnHangup.store(static_cast<bool>(state_->onReload));
    struct sigaction action {};
    action.sa_handler = &Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(QuitSignals); ++i) {
        sigaction(QuitSignals[i], &action, &state_->old[i]);
    }
    // A hangup held since the start is taken now, by the handler.
    ReleaseHangups();
    if (state_->onQuit) {
        state_->watcher = std::thread([state = state_.get()] {
            State::Requests requests;
            while (state->AwaitRequest(requests) && !state->closing.load()) {
                if (requests.reload) {
                    state->Reload();
                }
                if (requests.quit) {
                    QUORVEL_DEBUG(lcPlatform) << "signals: quitting on a termination signal";
                    state->onQuit();
                }
            }
        });
    }
}

void QuitSignal::HoldHangups() {
    sigset_t hangup;
    sigemptyset(&hangup);
    sigaddset(&hangup, SIGHUP);
    // Before any thread is started, so that every thread holds it too.
    pthread_sigmask(SIG_BLOCK, &hangup, nullptr);
}

void QuitSignal::ReleaseHangups() {
    sigset_t hangup;
    sigemptyset(&hangup);
    sigaddset(&hangup, SIGHUP);
    pthread_sigmask(SIG_UNBLOCK, &hangup, nullptr);
}

QuitSignal::~QuitSignal() {
    if (state_->fds[0] < 0) {
        return;
    }
    for (std::size_t i = 0; i < std::size(QuitSignals); ++i) {
        sigaction(QuitSignals[i], &state_->old[i], nullptr);
    }
    wakeFd.store(-1);
    reloadOnHangup.store(false);
    if (state_->watcher.joinable()) {
        state_->closing.store(true);
        WakeUp(state_->fds[1]);
        state_->watcher.join();
    }
    ::close(state_->fds[0]);
    ::close(state_->fds[1]);
}

void QuitSignal::Wait() {
    if (state_->fds[0] < 0) {
        for (;;) {
            ::pause();  // only a signal's default action ends this
        }
    }
    State::Requests requests;
    while (state_->AwaitRequest(requests)) {
        if (requests.reload && !state_->onQuit) {
            state_->Reload();
        }
        if (requests.quit) {
            QUORVEL_DEBUG(lcPlatform) << "signals: quitting on a termination signal";
            return;
        }
    }
}

int QuitSignal::ReadyHandle() const {
    return state_->fds[0];
}

bool QuitSignal::Take() {
    State::Requests requests;
    char bytes[16];
    for (ssize_t got; (got = ::read(state_->fds[0], bytes, sizeof bytes)) > 0;) {
        for (ssize_t i = 0; i < got; ++i) {
            (bytes[i] == ReloadByte ? requests.reload : requests.quit) = true;
        }
    }
    if (requests.reload) {
        state_->Reload();
    }
    if (requests.quit) {
        QUORVEL_DEBUG(lcPlatform) << "signals: quitting on a termination signal";
    }
    return requests.quit;
}

void QuitSignal::Raise() {
    if (state_->fds[1] >= 0) {
        WakeUp(state_->fds[1]);
    }
}

bool StandardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool StandardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}
