#include "player/session_bus_connector.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

namespace {

// A D-Bus address value with its %XX escapes undone.
std::string Unescaped(std::string_view value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            text += static_cast<char>(
                std::strtol(std::string(value.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else {
            text += value[i];
        }
    }
    return text;
}

// The unix socket of the session bus, as sd-bus would take it; none for another transport.
std::optional<std::string> BusSocket() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        return runtime == nullptr ? std::nullopt : std::optional(std::string(runtime) + "/bus");
    }
    // The first address only, where sd-bus starts too.
    std::string_view entry(address);
    entry = entry.substr(0, entry.find(';'));
    if (entry.rfind("unix:", 0) != 0) {
        return std::nullopt;
    }
    entry.remove_prefix(5);
    while (!entry.empty()) {
        const std::string_view pair = entry.substr(0, entry.find(','));
        entry.remove_prefix(std::min(entry.size(), pair.size() + 1));
        if (pair.rfind("path=", 0) == 0) {
            return Unescaped(pair.substr(5));
        }
        if (pair.rfind("abstract=", 0) == 0) {
            return std::string(1, '\0') + Unescaped(pair.substr(9));
        }
    }
    return std::nullopt;
}

// Connects to the bus's socket and sends the start of the authentication, which a daemon
// answers at once; -1 when there is nothing to ask.
int Ask() {
    const std::optional<std::string> path = BusSocket();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!path || path->empty() || path->size() >= sizeof address.sun_path) {
        return -1;
    }
    path->copy(address.sun_path, path->size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    std::string question("\0AUTH EXTERNAL ", 15);
    for (const char digit : std::to_string(::getuid())) {
        static constexpr char Hex[] = "0123456789abcdef";
        question += Hex[static_cast<unsigned char>(digit) >> 4];
        question += Hex[static_cast<unsigned char>(digit) & 0xf];
    }
    question += "\r\n";
    // An abstract name is its bytes alone; a path ends with its nul.
    const bool abstract = (*path)[0] == '\0';
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path->size() + (abstract ? 0 : 1));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::send(fd, question.data(), question.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(question.size())) {
        // No question asked: sd-bus finds out what is wrong, and says it.
        ::close(fd);
        return -1;
    }
    return fd;
}

// Polls fd until it is readable, deadline has passed or interruptFd is readable; true
// when fd is.
bool Readable(int fd, SessionBusConnector::Deadline deadline, int interruptFd) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fds[2] = {{fd, POLLIN, 0}, {interruptFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready > 0 && fds[0].revents != 0) {
            return true;
        }
        if ((ready < 0 && errno != EINTR) || ready > 0 || left.count() <= 0) {
            return false;
        }
    }
}

}  // namespace

// One join by sd-bus, on a thread of its own that the connector joins.
struct SessionBusConnector::Attempt {
    Attempt() : doneFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        thread = std::thread([this] {
            std::unique_ptr<sdbus::IConnection> made;
            std::string failure;
            try {
                made = sdbus::createSessionBusConnection();
            } catch (const sdbus::Error& e) {
                failure = e.getMessage();
            }
            {
                const std::lock_guard lock(mutex);
                connection = std::move(made);
                error = std::move(failure);
                done = true;
            }
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(doneFd, &one, sizeof one);
        });
    }
    ~Attempt() {
        thread.join();
        if (doneFd >= 0) {
            ::close(doneFd);
        }
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

    bool Done() {
        const std::lock_guard lock(mutex);
        return done;
    }

    const int doneFd;  // readable once the attempt has ended
    std::mutex mutex;
    bool done = false;                               // guarded by mutex
    std::unique_ptr<sdbus::IConnection> connection;  // guarded by mutex
    std::string error;                               // guarded by mutex
    std::thread thread;
};

SessionBusConnector::SessionBusConnector() = default;

SessionBusConnector::~SessionBusConnector() {
    if (question_ >= 0) {
        ::close(question_);
    }
}

bool SessionBusConnector::Asked(Deadline deadline, int interruptFd) {
    if (question_ < 0) {
        question_ = Ask();
        if (question_ < 0) {
            return true;
        }
    }
    if (!Readable(question_, deadline, interruptFd)) {
        return false;
    }
    // Any answer, a refusal or a hang-up included: the daemon is there to tell sd-bus.
    ::close(question_);
    question_ = -1;
    return true;
}

std::unique_ptr<sdbus::IConnection> SessionBusConnector::Take(Deadline deadline, int interruptFd,
                                                              std::string& why) {
    why = "the session bus has not answered yet (still trying in the background)";
    if (!attempt_) {
        if (!Asked(deadline, interruptFd)) {
            return nullptr;
        }
        attempt_ = std::make_unique<Attempt>();
    }
    if (!attempt_->Done() && !Readable(attempt_->doneFd, deadline, interruptFd)) {
        return nullptr;
    }
    const std::unique_ptr<Attempt> ended = std::move(attempt_);
    std::unique_ptr<sdbus::IConnection> connection;
    {
        const std::lock_guard lock(ended->mutex);
        why = ended->error;
        connection = std::move(ended->connection);
    }
    return connection;
}

bool SessionBusConnector::Answers(std::chrono::milliseconds limit) {
    SessionBusConnector connector;
    std::string why;
    return connector.Take(std::chrono::steady_clock::now() + limit, -1, why) != nullptr;
}
