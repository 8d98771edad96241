// What a path must be to be opened as the receiver's port, on POSIX.
#include "serial/posix_device_check.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "log/untrusted_text.h"
#include "serial/serial_device.h"

namespace {

// The device numbers of the terminal this process was started from: its controlling
// terminal and any standard channel on a terminal.
std::vector<dev_t> OwnTerminals() {
    // /dev/tty, /dev/console and /dev/tty0 stand for whichever terminal is in front.
    std::vector<dev_t> terminals{makedev(5, 0), makedev(5, 1), makedev(4, 0)};
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat st {};
        if (::isatty(fd) == 1 && ::fstat(fd, &st) == 0) {
            terminals.push_back(st.st_rdev);
        }
    }
    // Field 7 of /proc/self/stat; the command name in field 2 may hold spaces.
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(line.substr(close + 2));
        std::string state;
        long long ppid = 0, pgrp = 0, session = 0;
        unsigned long long ttyNr = 0;
        if (fields >> state >> ppid >> pgrp >> session >> ttyNr && ttyNr != 0) {
            const auto nr = static_cast<unsigned>(ttyNr);
            terminals.push_back(makedev((nr >> 8) & 0xfff, (nr & 0xff) | ((nr >> 12) & 0xfff00)));
        }
    }
    return terminals;
}

}  // namespace

std::string WhyNotOwnDevice(const std::string& path, uid_t owner) {
    if (owner == 0 || owner == ::geteuid()) {
        return {};
    }
    std::string name = std::to_string(owner);
    if (const passwd* entry = ::getpwuid(owner); entry != nullptr && entry->pw_name != nullptr) {
        name = entry->pw_name;
    }
    return UntrustedText(path) + " belongs to another user (" + UntrustedText(name) +
           "), not a serial port of this machine's";
}

std::string WhyNotASerialPort(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // Not there yet is fine: the receiver may be plugged in later. A path that no
        // plugging in can make (too long, a loop of links, a file on the way) is not.
        const int error = errno;
        switch (error) {
            case ENAMETOOLONG:
            case ELOOP:
            case ENOTDIR:
                return UntrustedText(path) + " can never be a serial port: " + std::strerror(error);
            default:
                return {};
        }
    }
    if (S_ISDIR(st.st_mode)) {
        return UntrustedText(path) + " is a folder, not a serial port";
    }
    if (S_ISREG(st.st_mode)) {
        return UntrustedText(path) + " is a file, not a serial port";
    }
    if (S_ISFIFO(st.st_mode)) {
        return UntrustedText(path) + " is a pipe, not a serial port";
    }
    if (!S_ISCHR(st.st_mode)) {
        return UntrustedText(path) + " is not a serial port";
    }
    // Opening it makes a new pseudo-terminal, whose other end nobody holds.
    if (st.st_rdev == makedev(5, 2)) {
        return UntrustedText(path) +
               " is the pseudo-terminal multiplexer, not a receiver (quorvel-send prints the "
               "path of its pseudo-terminal)";
    }
    if (const std::string why = WhyNotOwnDevice(path, st.st_uid); !why.empty()) {
        return why;
    }
    for (dev_t own : OwnTerminals()) {
        if (st.st_rdev == own) {
            return UntrustedText(path) +
                   " is the terminal this program runs in, not the receiver's port (the first "
                   "serial port is /dev/ttyS0)";
        }
    }
    // The kernel files every terminal under the tty class. Devices it does not list there
    // (pseudo-terminals) are opened to ask; a listed device of another class is never
    // opened, since opening some devices (a watchdog) has effects of its own.
    std::error_code error;
    const auto subsystem =
        std::filesystem::read_symlink("/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                                          std::to_string(minor(st.st_rdev)) + "/subsystem",
                                      error);
    bool terminal = false;
    if (!error) {
        terminal = subsystem.filename() == "tty";
    } else {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return {};  // busy or not allowed: the open at start says why
        }
        terminal = ::isatty(fd) == 1;
        ::close(fd);
    }
    return terminal ? std::string()
                    : UntrustedText(path) + " is a device that is no terminal, not a serial port";
}

std::string PortIdentity(const std::string& path) {
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved.string();
}

bool HeldByLockFile(const std::string& folder, const std::string& deviceName) {
    std::ifstream file(std::filesystem::path(folder) / ("LCK.." + deviceName), std::ios::binary);
    if (!file) {
        return false;
    }
    char content[64] = {};
    file.read(content, sizeof content - 1);
    const std::streamsize size = file.gcount();
    long pid = 0;
    // "123\n" is four bytes too: only what is not decimal text is the binary form.
    const bool decimal = std::all_of(content, content + size, [](char c) {
        return c == ' ' || c == '\n' || (c >= '0' && c <= '9');
    });
    if (size == sizeof(std::int32_t) && !decimal) {
        // The old binary form: the process id as a native int.
        std::int32_t binary = 0;
        std::memcpy(&binary, content, sizeof binary);
        pid = binary;
    } else {
        pid = std::strtol(content, nullptr, 10);
    }
    if (pid <= 0) {
        return true;  // unreadable: the conservative reading is that someone holds it
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
