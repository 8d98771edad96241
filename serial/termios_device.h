#pragma once

#include <termios.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "serial/serial_device.h"

// The serial port on a POSIX tty. Every termios, ioctl, flock, poll and inotify call of the
// program lives in termios_device.cpp. Errors are errno values. Closing puts back the
// line settings the port had before it was configured.
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
    // FIONREAD.
    bool InputWaiting() override;
    Arrival AwaitInput(std::chrono::milliseconds longest) override;
    bool Pause(std::chrono::milliseconds duration) override;
    // Watches the deepest folder on the way to path that exists, with inotify.
    bool AwaitPath(const std::string& path, std::chrono::milliseconds duration) override;
    void Wake() override;

    // EWOULDBLOCK or EBUSY: another process holds the port.
    bool IsAbsent(int error) const override { return error == ENOENT; }
    std::string DescribeOpenError(const std::string& path, int error) const override;
    std::string DescribeReadError(int error) const override;

  private:
    // Waits until deadline, a wake-up (false) or, with watch, a readable inotify event for
    // the name awaited (true).
    bool WaitUntil(std::chrono::steady_clock::time_point deadline, bool watch);
    void StopWatching();
    // Sleeps in slices until deadline or a wake-up: the way to wait when poll cannot.
    void SleepUntil(std::chrono::steady_clock::time_point deadline) const;

    int fd_ = -1;
    // An eventfd that stays readable once woken, so every later wait ends at once.
    int wakeFd_ = -1;
    std::atomic<bool> woken_{false};
    termios settings_{};
    // The port's settings before we changed them, put back on Close.
    termios original_{};
    bool changed_ = false;
    // The folder watched for the port's path to appear, and the name awaited in it.
    int inotifyFd_ = -1;
    int watch_ = -1;
    std::string watchedFolder_;
    std::string awaitedName_;
};
