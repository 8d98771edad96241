#include "lircd/lircd_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "lircd/lircd_log.h"
#include "log/untrusted_text.h"

namespace {

// After a change on the way to the socket, lircd may not listen yet: tried this often for a
// while, so that a socket made again is connected within a second.
constexpr std::chrono::milliseconds SoonAfterChange{100};
constexpr std::chrono::seconds ChangeSettles{2};

}  // namespace

LircdSource::LircdSource(std::filesystem::path socket)
    : socket_(std::move(socket)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LircdSource::~LircdSource() {
    Disconnect();
    for (const int fd : {wakeFd_, inotifyFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void LircdSource::Open() {
    openError_ = Connect();
}

std::vector<SourceCondition> LircdSource::Configure() {
    if (openError_ == 0) {
        return {};
    }
    saidConnectError_ = openError_;
    return {ConnectFailure(openError_)};
}

int LircdSource::Connect() {
    Disconnect();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socket_.string();
    if (path.size() >= sizeof address.sun_path) {
        return ENAMETOOLONG;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Never blocking: a hung lircd with a full queue refuses (EAGAIN) instead of holding
    // the receiver, and so its stop, for ever.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return errno;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    fd_ = fd;
    decoder_.Reset();
    return 0;
}

void LircdSource::Disconnect() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

SourceCondition LircdSource::ConnectFailure(int error) const {
    const std::string where = UntrustedText(socket_.string());
    switch (error) {
        case ENOENT:
            return {SourceCondition::Kind::Absent,
                    "no lircd socket at " + where +
                        ": is lircd running? (another socket is given as --lircd=SOCKET)"};
        case ECONNREFUSED:
            return {SourceCondition::Kind::Absent,
                    "lircd is not running: nothing listens on " + where};
        case EAGAIN:
            return {SourceCondition::Kind::CannotOpen,
                    "lircd at " + where + " takes no more clients now (is it hung?)"};
        default:
            return {SourceCondition::Kind::CannotOpen,
                    "cannot connect to lircd at " + where + ": " + std::strerror(error)};
    }
}

SourceItem LircdSource::Next() {
    return NextBefore(Deadline::max());
}

SourceItem LircdSource::NextBefore(Deadline until) {
    // What was read already, or is there to read, was waiting: a hold's repeats that
    // queued behind a slow player act once at most.
    const bool waiting = !pending_.Empty() || InputWaiting();
    for (;;) {
        if (auto item = pending_.Take(waiting, [this] { return InputWaiting(); })) {
            return *std::move(item);
        }
        if (stopRequested_) {
            return SourceStopped{};
        }
        if (until != Deadline::max() && std::chrono::steady_clock::now() >= until) {
            return TimedOut{};
        }
        if (fd_ < 0) {
            if (!AwaitSocket(until)) {
                return SourceStopped{};
            }
            if (fd_ < 0) {
                continue;  // the deadline came first
            }
            QUORVEL_INFO(lcLircd) << "connected to lircd at " << UntrustedText(socket_.string());
            return SourceCondition{SourceCondition::Kind::Back,
                                   "connected to lircd at " + UntrustedText(socket_.string())};
        }
        Read(until);
    }
}

bool LircdSource::InputWaiting() const {
    pollfd fd{fd_, POLLIN, 0};
    return fd_ >= 0 && ::poll(&fd, 1, 0) > 0;
}

void LircdSource::Read(Deadline until) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, PollTimeout(until));
    if (ready == 0) {
        return;  // the deadline came
    }
    if (ready < 0) {
        if (errno != EINTR) {
            // Not the connection's fault; a pause keeps a failing poll from spinning.
            AwaitChange(SoonAfterChange);
        }
        return;
    }
    if (fds[1].revents != 0) {
        return;  // asked to stop
    }
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (n <= 0) {
        const std::string why =
            n == 0 ? std::string("lircd closed the connection")
                   : std::string("reading from lircd failed: ") + std::strerror(errno);
        Disconnect();
        saidConnectError_ = 0;
        // A stopping lircd may still take a client it is about to drop: a connection that
        // ends before lircd said anything is the same outage, said once.
        if (!heardSinceLost_) {
            QUORVEL_INFO(lcLircd) << why << " again; connecting again when it is back";
            return;
        }
        heardSinceLost_ = false;
        QUORVEL_WARNING(lcLircd) << why << "; connecting again when it is back";
        pending_.Push(SourceCondition{SourceCondition::Kind::Lost, why});
        return;
    }
    heardSinceLost_ = true;
    lines_.clear();
    decoder_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), lines_);
    for (LircdLineDecoder::Line& line : lines_) {
        if (line.event) {
            pending_.Push(std::move(*line.event));
        } else {
            SayJunk(line.junk);
        }
    }
}

void LircdSource::SayJunk(LircdLineDecoder::Junk junk) {
    if (!saidJunk_.insert(junk).second) {
        return;
    }
    // lircd itself sends a block whenever it rereads its configuration.
    if (junk == LircdLineDecoder::Junk::ReplyBlock) {
        QUORVEL_DEBUG(lcLircd) << "lircd sent " << LircdLineDecoder::Describe(junk) << "; skipped";
    } else {
        QUORVEL_WARNING(lcLircd) << "lircd's socket sent " << LircdLineDecoder::Describe(junk)
                                 << "; skipped, and not said again";
    }
}

bool LircdSource::AwaitSocket(Deadline until) {
    for (;;) {
        const int error = Connect();
        if (error == 0) {
            return true;
        }
        if (error != saidConnectError_) {
            saidConnectError_ = error;
            QUORVEL_INFO(lcLircd) << ConnectFailure(error).reason << "; waiting for it";
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return true;
        }
        const bool settling = now - lastChange_ < ChangeSettles;
        auto longest = settling ? SoonAfterChange : std::chrono::milliseconds(RetryEvery);
        if (until != Deadline::max()) {
            longest = std::min(longest, std::chrono::ceil<std::chrono::milliseconds>(until - now));
        }
        if (!AwaitChange(longest)) {
            return false;
        }
    }
}

bool LircdSource::AwaitChange(std::chrono::milliseconds longest) {
    if (inotifyFd_ < 0) {
        inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    // The deepest folder on the way that exists: the socket's own, or one above it while that
    // is gone (a runtime folder removed with lircd's service).
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(socket_, error).parent_path();
    while (!std::filesystem::is_directory(folder, error) && folder.has_relative_path()) {
        folder = folder.parent_path();
    }
    if (inotifyFd_ >= 0) {
        if (folder != watched_ && watch_ >= 0) {
            ::inotify_rm_watch(inotifyFd_, watch_);
        }
        // Added every time: a live watch keeps its number, and one the kernel dropped with
        // its folder (removed and made again meanwhile) is made anew.
        const int watch = ::inotify_add_watch(inotifyFd_, folder.c_str(),
                                              IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR);
        if (watch != watch_ || folder != watched_) {
            // What changed before the watch was there is not announced: look again soon.
            lastChange_ = std::chrono::steady_clock::now();
            longest = std::min(longest, SoonAfterChange);
        }
        watch_ = watch;
        watched_ = watch >= 0 ? folder : std::filesystem::path();
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
    const int ready = ::poll(fds, inotifyFd_ >= 0 ? 2 : 1, static_cast<int>(longest.count()));
    if (fds[0].revents != 0 || stopRequested_) {
        return false;
    }
    if (ready > 0 && fds[1].revents != 0) {
        alignas(inotify_event) char events[4096];
        while (::read(inotifyFd_, events, sizeof events) > 0) {
        }
        lastChange_ = std::chrono::steady_clock::now();
    }
    return true;
}

void LircdSource::RequestStop() {
    stopRequested_ = true;
    const std::uint64_t one = 1;
    // Fails only if the counter would overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}
