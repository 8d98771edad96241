#include "tests/e2e/port_writing.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <algorithm>
#include <cerrno>

#include "tests/e2e/program_process.h"
#include "tests/receiver/pty.h"

namespace {

// Well under the 4 KiB a tty's line discipline holds.
constexpr std::size_t ChunkBytes = 1024;

}  // namespace

bool WaitForRawReader(const Pty& port) {
    const QDeadlineTimer deadline(DeadlineMs);
    while ((port.SlaveSettings().c_lflag & ICANON) != 0) {
        if (deadline.hasExpired()) {
            return false;
        }
        ::poll(nullptr, 0, 10);
    }
    return true;
}

bool WritePaced(int fd, const std::vector<std::uint8_t>& bytes) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::size_t written = 0;
    // Restarted at every write that gets through: only a reader that stopped reading ends it.
    QDeadlineTimer stalled(DeadlineMs);
    while (written < bytes.size()) {
        pollfd ready{fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, 100);
        if (polled < 0 && errno != EINTR) {
            return false;
        }
        if (polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return false;
        }
        if (polled > 0 && (ready.revents & POLLOUT) != 0) {
            const std::size_t size = std::min(ChunkBytes, bytes.size() - written);
            const ssize_t n = ::write(fd, bytes.data() + written, size);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                stalled.setRemainingTime(DeadlineMs);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
        }
        if (stalled.hasExpired()) {
            return false;
        }
    }
    return true;
}
