#pragma once

#include <termios.h>

#include "receiver/serial_device.h"

// The serial port on a POSIX tty. Every termios, ioctl, flock and poll call of the program
// lives in termios_device.cpp. Errors are errno values.
class TermiosDevice : public SerialDevice {
  public:
    static constexpr speed_t LineSpeed = B9600;

    TermiosDevice();
    ~TermiosDevice() override;
    TermiosDevice(const TermiosDevice&) = delete;
    TermiosDevice& operator=(const TermiosDevice&) = delete;

    int Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    bool ReadSettings() override;
    bool WriteLineSettings() override;
    bool PrepareQueues() override;
    bool WriteTimeouts() override;

    ReadResult Read(std::span<std::uint8_t> buffer) override;
    bool Pause(std::chrono::milliseconds duration) override;
    void Wake() override;

    // EWOULDBLOCK or EBUSY: another process holds the port.
    std::string DescribeOpenError(const std::string& path, int error) const override;
    std::string DescribeReadError(int error) const override;

  private:
    int fd_ = -1;
    // An eventfd that stays readable once woken, so every later wait ends at once.
    int wakeFd_ = -1;
    termios settings_{};
};
