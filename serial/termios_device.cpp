#include "serial/termios_device.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "log/untrusted_text.h"
#include "platform/path_watch.h"
#include "serial/port_listing.h"
#include "serial/posix_device_check.h"
#include "serial/serial_log.h"

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string joined;
    for (const auto& item : items) {
        joined += (joined.empty() ? "" : ", ") + item;
    }
    return joined;
}

// The flags this program sets or clears; the read-back compares exactly these.
constexpr tcflag_t InputMask = IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                               ICRNL | IUCLC | IXON | IXOFF | IXANY;
constexpr tcflag_t InputSet = INPCK | PARMRK;
constexpr tcflag_t LocalMask = ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN;
constexpr tcflag_t ControlMask = CSIZE | PARENB | CSTOPB | CREAD | CLOCAL | CRTSCTS;
constexpr tcflag_t ControlSet = CS8 | CREAD | CLOCAL;

// Root opens a port another program holds exclusively, or has locked the UUCP way, as if it
// were free; such a port is left alone all the same.
bool HeldExclusively(int fd, const std::string& path) {
    int exclusive = 0;
    std::error_code unresolved;
    const std::string name =
        std::filesystem::weakly_canonical(path, unresolved).filename().string();
    return (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) ||
           std::any_of(std::begin(LockFolders), std::end(LockFolders),
                       [&](const char* folder) { return HeldByLockFile(folder, name); });
}

bool LineSettingsMatch(const termios& wanted, const termios& actual) {
    return (actual.c_iflag & InputMask) == (wanted.c_iflag & InputMask) &&
           (actual.c_lflag & LocalMask) == (wanted.c_lflag & LocalMask) &&
           (actual.c_cflag & ControlMask) == (wanted.c_cflag & ControlMask) &&
           cfgetispeed(&actual) == cfgetispeed(&wanted) &&
           cfgetospeed(&actual) == cfgetospeed(&wanted);
}

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
    return std::make_unique<TermiosDevice>();
}

TermiosDevice::~TermiosDevice() {
    Close();
}

std::optional<SerialError> TermiosDevice::Open(const std::string& path) {
    Close();
    // Non-blocking: an open without CLOCAL would otherwise wait for carrier, and a read
    // never waits. The receiver loop does the waiting.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return OpenError(path, errno);
    }
    // What was opened, not what the path was when checked: another user's device, or a
    // new pseudo-terminal from the multiplexer, is never read.
    struct stat st {};
    int refused = 0;
    if (::fstat(fd, &st) != 0 || !WhyNotOwnDevice(path, st.st_uid).empty() ||
        (S_ISCHR(st.st_mode) && st.st_rdev == makedev(5, 2))) {
        refused = EPERM;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // TIOCEXCL alone does not stop root; the lock stops a second instance either way.
        refused = errno;
    } else if (HeldExclusively(fd, path)) {
        refused = EBUSY;
    }
    if (refused != 0) {
        // Closed first: who holds the port is asked of the others.
        ::close(fd);
        SerialError why = OpenError(path, refused);
        if (S_ISCHR(st.st_mode) && st.st_rdev == makedev(5, 2)) {
            why.kind = SerialError::Kind::NotAPort;
        }
        return why;
    }
    // Not a tty (ENOTTY) is left for the configuration steps to report.
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    return std::nullopt;
}

void TermiosDevice::Close() {
    if (fd_ < 0) {
        return;
    }
    if (changed_) {
        // Another program may use the port after us; a port that went away refuses quietly.
        ::tcsetattr(fd_, TCSANOW, &original_);
        changed_ = false;
    }
    // The exclusive flag outlives this descriptor on a tty that stays open elsewhere (a pty
    // whose master is still held); clear it so the port can be opened again.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

bool TermiosDevice::ReadSettings() {
    settings_ = termios{};
    if (::tcgetattr(fd_, &settings_) != 0) {
        return false;
    }
    original_ = settings_;
    return true;
}

bool TermiosDevice::WriteLineSettings() {
    // Raw input is essential: cooked mode would turn the repeat prefix 0x0D into 0x0A and
    // swallow 0x11 and 0x13 as flow control. Line errors are marked in the data instead of
    // being dropped, so a read can report them.
    settings_.c_iflag = (settings_.c_iflag & ~InputMask) | InputSet;
    settings_.c_lflag &= ~LocalMask;
    settings_.c_cflag = (settings_.c_cflag & ~ControlMask) | ControlSet;
    if (::cfsetispeed(&settings_, LineSpeed) != 0 || ::cfsetospeed(&settings_, LineSpeed) != 0) {
        return false;
    }
    // Stale input is discarded before the line turns raw, never after: a sender that starts
    // once it sees the line raw must not lose its first bytes. tcflush empties every queue;
    // TCSAFLUSH drops what was cooked in between (it alone misses bytes still in transit).
    ::tcflush(fd_, TCIFLUSH);
    if (::tcsetattr(fd_, TCSAFLUSH, &settings_) != 0) {
        return false;
    }
    changed_ = true;
    // tcsetattr succeeds if any one change took; only the read-back tells whether all did.
    termios actual{};
    return ::tcgetattr(fd_, &actual) == 0 && LineSettingsMatch(settings_, actual);
}

bool TermiosDevice::PrepareQueues() {
    // The queues were flushed with the line settings; flushing again here would throw away
    // bytes sent since the line went raw.
    return ::isatty(fd_) == 1;
}

bool TermiosDevice::WriteTimeouts() {
    termios timeouts = settings_;
    ::tcgetattr(fd_, &timeouts);
    timeouts.c_cc[VMIN] = 1;
    timeouts.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &timeouts) != 0) {
        return false;
    }
    changed_ = true;
    return true;
}

SerialDevice::ReadResult TermiosDevice::Read(std::span<std::uint8_t> buffer) {
    for (;;) {
        // Data still queued at a hang-up is read first; the next read then reports it.
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n > 0) {
            return {ReadStatus::Data, static_cast<std::size_t>(n)};
        }
        if (n == 0) {
            return {ReadStatus::HungUp};
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return {ReadStatus::Empty};
        }
        // A tty whose other end has gone answers EIO.
        if (errno == EIO) {
            return {ReadStatus::HungUp};
        }
        return {ReadStatus::Failed, 0,
                SerialError{SerialError::Kind::ReadFailed, std::strerror(errno)}};
    }
}

std::unique_ptr<EventLoop::Watch> TermiosDevice::WatchArrival(EventLoop& loop,
                                                              const std::string& path,
                                                              std::function<void()> onChange) {
    auto watch = std::make_unique<PathWatch>(loop, path, std::move(onChange));
    if (!watch->Problem().empty()) {
        QUORVEL_INFO(lcReceiver) << watch->Problem()
                                 << "; the port is looked for at the back-off's pace";
    }
    return watch;
}

SerialError TermiosDevice::OpenError(const std::string& path, int error) {
    SerialError why{SerialError::Kind::Failed,
                    "cannot open serial port " + UntrustedText(path) + ": " + std::strerror(error)};
    switch (error) {
        case ENOENT: {
            why.kind = SerialError::Kind::Absent;
            const auto ports = PortListing::Named(PortListing::Ports());
            why.text += ports.empty()
                            ? " (no such device, and no serial ports were found: is the "
                              "receiver plugged in?)"
                            : " (no such device; serial ports here: " + Joined(ports) + ")";
            break;
        }
        case EACCES:
            why.kind = SerialError::Kind::NoPermission;
            why.text += " (add the user to the 'dialout' group, then log in again)";
            break;
        case EPERM:
            why.kind = SerialError::Kind::NoPermission;
            why.text += " (it belongs to another user, or is no receiver)";
            break;
        case EWOULDBLOCK:
        case EBUSY: {
            why.kind = SerialError::Kind::Busy;
            const auto holders = PortListing::Holders(path);
            why.text += holders.empty()
                            ? " (held by another instance or program)"
                            : " (held by another instance or program: " + Joined(holders) + ")";
            break;
        }
        default:
            break;
    }
    return why;
}
