#include "tools/virtual_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

// Well under the 4 KiB a tty's line discipline holds.
constexpr std::size_t ChunkBytes = 1024;

// Milliseconds poll may wait before deadline: -1 for none.
int PollTimeout(Clock::time_point deadline, bool forever) {
    if (forever) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

VirtualPort::~VirtualPort() {
    ::close(writeFd_);
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
    }
}

std::unique_ptr<VirtualPort> VirtualPort::CreatePty() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create a pseudo-terminal");
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    return std::unique_ptr<VirtualPort>(new VirtualPort(master, slave, name));
}

std::unique_ptr<VirtualPort> VirtualPort::OpenDevice(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        tio.c_cflag |= CLOCAL;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return std::unique_ptr<VirtualPort>(new VirtualPort(fd, -1, path));
}

bool VirtualPort::WaitForRawReader(std::chrono::milliseconds limit) const {
    if (slaveFd_ < 0) {
        return true;
    }
    const bool forever = limit == Forever;
    const auto deadline = forever ? Clock::time_point::max() : Clock::now() + limit;
    // The master learns nothing when the far end changes its settings, so look now and then.
    while ((ReaderSettings().c_lflag & ICANON) != 0) {
        if (!forever && Clock::now() >= deadline) {
            return false;
        }
        ::poll(nullptr, 0, 10);
    }
    return true;
}

void VirtualPort::Drain() const {
    if (slaveFd_ < 0) {
        return;
    }
    // Written bytes reach the reader's queue a moment later, so look only after a pause.
    for (int tries = 0; tries < 100; ++tries) {
        ::poll(nullptr, 0, 50);
        int unread = 0;
        if (::ioctl(slaveFd_, FIONREAD, &unread) != 0 || unread == 0) {
            return;
        }
    }
}

bool VirtualPort::Write(const std::vector<unsigned char>& bytes,
                        std::chrono::milliseconds stallLimit) {
    const bool forever = stallLimit == Forever;
    auto deadline = forever ? Clock::time_point::max() : Clock::now() + stallLimit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t size = std::min(ChunkBytes, bytes.size() - done);
        const ssize_t n = ::write(writeFd_, bytes.data() + done, size);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            if (!forever) {
                deadline = Clock::now() + stallLimit;
            }
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        // Full: wait for room, the reader's hang-up or the end of our patience.
        pollfd ready{writeFd_, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, PollTimeout(deadline, forever));
        if (polled < 0 && errno != EINTR) {
            return false;
        }
        if (polled == 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return false;
        }
    }
    return true;
}

termios VirtualPort::ReaderSettings() const {
    termios settings{};
    ::tcgetattr(slaveFd_, &settings);
    return settings;
}

void VirtualPort::SetReaderSettings(const termios& settings) {
    ::tcsetattr(slaveFd_, TCSANOW, &settings);
}
