#include "app/signal_quitter.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "app/app_log.h"

namespace {

// Read by the signal handler: lock-free atomics are safe there.
std::atomic<int> wakeFd{-1};
std::atomic<bool> quitting{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

constexpr int QuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

SignalQuitter::SignalQuitter(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        qCWarning(lcApp) << "signals: no socket pair, SIGINT, SIGTERM and SIGHUP end the program "
                            "abruptly"
                         << strerror(errno);
        fds_[0] = fds_[1] = -1;
        return;
    }
    wakeFd.store(fds_[1]);
    quitting.store(false);
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });

    struct sigaction action {};
    action.sa_handler = &SignalQuitter::Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(QuitSignals); ++i) {
        sigaction(QuitSignals[i], &action, &old_[i]);
    }
}

SignalQuitter::~SignalQuitter() {
    if (fds_[0] < 0) {
        return;
    }
    for (std::size_t i = 0; i < std::size(QuitSignals); ++i) {
        sigaction(QuitSignals[i], &old_[i], nullptr);
    }
    wakeFd.store(-1);
    delete notifier_;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void SignalQuitter::Handle(int signal) {
    // A second signal while the first one's shutdown runs: the user means it, end now.
    if (quitting.exchange(true)) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const int savedErrno = errno;
    const int fd = wakeFd.load();
    if (fd >= 0) {
        const char byte = static_cast<char>(signal);
        // A full socket already holds a wake-up; losing this byte loses nothing.
        if (::write(fd, &byte, 1) < 0) {
        }
    }
    errno = savedErrno;
}

void SignalQuitter::Drain() {
    char bytes[16];
    while (::read(fds_[0], bytes, sizeof bytes) > 0) {
    }
    qCDebug(lcApp) << "signals: quitting on a termination signal";
    QCoreApplication::quit();
}
