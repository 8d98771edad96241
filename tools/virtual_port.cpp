#include "tools/virtual_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

VirtualPort::~VirtualPort() {
    ::close(writeFd_);
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
    }
}

std::unique_ptr<VirtualPort> VirtualPort::CreatePty(std::string& error) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    return std::unique_ptr<VirtualPort>(new VirtualPort(master, slave, name));
}

std::unique_ptr<VirtualPort> VirtualPort::OpenDevice(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
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

void VirtualPort::WaitForRawReader() const {
    if (slaveFd_ < 0) {
        return;
    }
    // The master learns nothing when the far end changes its settings, so look now and then.
    for (;;) {
        termios tio{};
        if (::tcgetattr(slaveFd_, &tio) != 0 || (tio.c_lflag & ICANON) == 0) {
            return;
        }
        ::poll(nullptr, 0, 50);
    }
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

bool VirtualPort::Write(const std::vector<unsigned char>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(writeFd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
