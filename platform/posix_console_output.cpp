#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/console_output.h"

ConsoleOutput::ConsoleOutput(std::FILE* out) : out_(out) {
    const int fd = ::fileno(out);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        return;
    }
    std::fflush(out);
    if (S_ISSOCK(status.st_mode)) {
        fd_ = fd;
        socket_ = true;
    } else if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
        // A description of our own: O_NONBLOCK on the shared one would reach the shell.
        const int own = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(),
                               O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_APPEND);
        fd_ = own >= 0 ? own : fd;
        owned_ = own >= 0;
    } else {
        fd_ = fd;  // a file: it takes everything, or fails
    }
}

ConsoleOutput::~ConsoleOutput() {
    if (owned_) {
        ::close(fd_);
    }
}

std::ptrdiff_t ConsoleOutput::Write(std::string_view text, int& error) {
    if (text.empty()) {
        return 0;
    }
    if (fd_ < 0) {
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), out_) != text.size() ||
            std::fflush(out_) != 0) {
            error = errno != 0 ? errno : EIO;
            return -1;
        }
        return static_cast<std::ptrdiff_t>(text.size());
    }
    for (;;) {
        const ssize_t written =
            socket_ ? ::send(fd_, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                    : ::write(fd_, text.data(), text.size());
        if (written >= 0) {
            return written;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        error = errno;
        return -1;
    }
}
