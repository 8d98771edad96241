#include "lircd/lircd_source.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lircd/lircd_log.h"
#include "log/untrusted_text.h"

namespace {

// While lircd's queue of new clients is full it is there, only busy: tried more often.
constexpr std::chrono::seconds BusyRetryEvery{1};

}  // namespace

LircdSource::LircdSource(std::filesystem::path socket)
    : socket_(std::move(socket)), reopening_(RetryEvery, [this] { Attempt(); }), health_(lcLircd) {}

LircdSource::~LircdSource() {
    Disconnect();
}

const LogCategory& LircdSource::Log() const {
    return lcLircd;
}

std::string LircdSource::WhyNotASocket(const std::filesystem::path& socket) {
    if (socket.native().size() >= sizeof(sockaddr_un{}.sun_path)) {
        return "the lircd socket path " + UntrustedText(socket.string()) + " is longer than " +
               std::to_string(sizeof(sockaddr_un{}.sun_path) - 1) +
               " bytes, more than a socket's address holds";
    }
    return {};
}

void LircdSource::Open() {
    openError_ = Connect();
}

std::vector<SourceCondition> LircdSource::Configure() {
    if (openError_ == 0) {
        return {};
    }
    return {health_.NotStarted(ConnectFailure(openError_))};
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
    ready_.reset();  // out of the loop before the socket closes
    lived_.reset();
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

void LircdSource::Attach(EventLoop& loop, SourceOutput& out) {
    loop_ = &loop;
    health_.Attach(out);
    reopening_.Attach(loop);
    if (fd_ >= 0) {
        // Connected from the start: nothing was said, so its end is an outage from now on.
        Confirm();
        ready_ = loop_->WatchHandle(fd_, [this] { Read(); });
    } else {
        Await(openError_);
    }
}

void LircdSource::Attempt() {
    const int error = Connect();
    if (error != 0) {
        Await(error);
        return;
    }
    ready_ = loop_->WatchHandle(fd_, [this] { Read(); });
    lived_ = loop_->MakeTimer([this] { Confirm(); });
    lived_->Set(EventLoop::Clock::now() + Lived);
}

void LircdSource::Await(std::optional<int> error) {
    if (error) {
        health_.TryFailed(ConnectFailure(*error), LogLevel::Info, "; waiting for it");
    }
    if (!pathWatch_) {
        pathWatch_ = std::make_unique<PathWatch>(*loop_, socket_, [this] { reopening_.Soon(); });
        if (const std::string& problem = pathWatch_->Problem(); !problem.empty()) {
            health_.Say(problem, LogLevel::Info,
                        "; lircd is looked for every " + std::to_string(RetryEvery.count()) + " s");
        }
    }
    reopening_.Failed(error == EAGAIN ? std::chrono::milliseconds(BusyRetryEvery)
                                      : std::chrono::milliseconds(RetryEvery));
}

void LircdSource::Confirm() {
    if (health_.Now() == SourceHealth::State::Up) {
        return;
    }
    lived_.reset();
    pathWatch_.reset();
    reopening_.Succeeded();
    health_.Up("connected to lircd at " + UntrustedText(socket_.string()));
}

void LircdSource::Read() {
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (n <= 0) {
        Dropped(n == 0 ? std::string("lircd closed the connection")
                       : std::string("reading from lircd failed: ") + std::strerror(errno));
        return;
    }
    Confirm();
    lines_.clear();
    decoder_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), lines_);
    for (LircdLineDecoder::Line& line : lines_) {
        if (line.event) {
            health_.Put(std::move(*line.event));
        } else {
            SayJunk(line.junk);
        }
    }
}

void LircdSource::Dropped(const std::string& why) {
    Disconnect();
    if (health_.Now() != SourceHealth::State::Up) {
        // lircd took the client and dropped it: a failed connect, paced as one.
        health_.Say(why + " before saying anything", LogLevel::Info, "; trying again later");
    } else {
        QUORVEL_WARNING(lcLircd) << why << "; connecting again when it is back";
        health_.Lost(SourceCondition{SourceCondition::Kind::Lost, why});
    }
    Await(std::nullopt);
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
