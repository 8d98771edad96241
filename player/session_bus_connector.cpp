#include "player/session_bus_connector.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <sdbus-c++/sdbus-c++.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <utility>

// Shared by the connector and the attempt's thread, which may outlive it.
struct SessionBusConnector::Attempt {
    Attempt() : doneFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Attempt() {
        if (doneFd >= 0) {
            ::close(doneFd);
        }
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

    const int doneFd;  // readable once the attempt has ended
    std::mutex mutex;
    bool done = false;                               // guarded by mutex
    std::unique_ptr<sdbus::IConnection> connection;  // guarded by mutex
    std::string error;                               // guarded by mutex

    static std::shared_ptr<Attempt> Start() {
        auto attempt = std::make_shared<Attempt>();
        std::thread([attempt] {
            std::unique_ptr<sdbus::IConnection> connection;
            std::string error;
            try {
                connection = sdbus::createSessionBusConnection();
            } catch (const sdbus::Error& e) {
                error = e.getMessage();
            }
            {
                std::lock_guard lock(attempt->mutex);
                attempt->connection = std::move(connection);
                attempt->error = std::move(error);
                attempt->done = true;
            }
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(attempt->doneFd, &one, sizeof one);
        }).detach();
        return attempt;
    }

    // Waits until the attempt has ended, deadline has passed or interruptFd is readable.
    bool Wait(Deadline deadline, int interruptFd) {
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (done) {
                    return true;
                }
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd fds[2] = {{doneFd, POLLIN, 0}, {interruptFd, POLLIN, 0}};
            const int ready = ::poll(fds, interruptFd >= 0 ? 2 : 1, static_cast<int>(left.count()));
            if (ready > 0 && interruptFd >= 0 && (fds[1].revents & POLLIN) != 0 &&
                (fds[0].revents & POLLIN) == 0) {
                return false;
            }
            if (ready < 0 && errno != EINTR) {
                return false;
            }
        }
    }
};

SessionBusConnector::SessionBusConnector() = default;

SessionBusConnector::~SessionBusConnector() = default;

std::unique_ptr<sdbus::IConnection> SessionBusConnector::Take(Deadline deadline, int interruptFd,
                                                              std::string& why) {
    if (!attempt_) {
        attempt_ = Attempt::Start();
    }
    if (!attempt_->Wait(deadline, interruptFd)) {
        why = "the session bus has not answered yet (still trying in the background)";
        return nullptr;
    }
    std::shared_ptr<Attempt> ended = std::exchange(attempt_, nullptr);
    std::lock_guard lock(ended->mutex);
    why = ended->error;
    return std::move(ended->connection);
}

bool SessionBusConnector::Answers(std::chrono::milliseconds limit) {
    SessionBusConnector connector;
    std::string why;
    return connector.Take(std::chrono::steady_clock::now() + limit, -1, why) != nullptr;
}
