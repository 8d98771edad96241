#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

// A pseudo-terminal standing in for the serial port: the test holds the master end and
// writes the receiver's bytes into it; the code under test opens the slave by path.
// Closing the master is a hang-up, as when a USB adapter is unplugged.
class Pty {
  public:
    Pty() {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
            throw std::system_error(errno, std::generic_category(), "openpty");
        }
        ::close(slave);
        slavePath_ = name;
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    void Write(const std::vector<std::uint8_t>& bytes) {
        if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            throw std::system_error(errno, std::generic_category(), "write to pty");
        }
    }

    // The slave's settings (a pty master answers for its slave).
    termios SlaveSettings() const {
        termios settings{};
        if (::tcgetattr(master_, &settings) != 0) {
            throw std::system_error(errno, std::generic_category(), "tcgetattr");
        }
        return settings;
    }
    void SetSlaveSettings(const termios& settings) {
        if (::tcsetattr(master_, TCSANOW, &settings) != 0) {
            throw std::system_error(errno, std::generic_category(), "tcsetattr");
        }
    }

    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

  private:
    int master_ = -1;
    std::string slavePath_;
};
