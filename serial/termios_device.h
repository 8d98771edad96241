#pragma once

#include <termios.h>

#include "serial/serial_device.h"

// The serial port on a POSIX tty, opened non-blocking. Every termios, ioctl and flock call
// of the program lives in termios_device.cpp. Closing puts back the line settings the port
// had before it was configured.
class TermiosDevice : public SerialDevice {
  public:
    static constexpr speed_t LineSpeed = B9600;

    TermiosDevice() = default;
    ~TermiosDevice() override;
    TermiosDevice(const TermiosDevice&) = delete;
    TermiosDevice& operator=(const TermiosDevice&) = delete;

    std::optional<SerialError> Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    bool ReadSettings() override;
    bool WriteLineSettings() override;
    bool PrepareQueues() override;
    bool WriteTimeouts() override;

    EventLoop::Handle ReadyHandle() const override { return fd_; }
    ReadResult Read(std::span<std::uint8_t> buffer) override;
    // The path and the folders on the way to it, with inotify (PathWatch).
    std::unique_ptr<EventLoop::Watch> WatchArrival(EventLoop& loop, const std::string& path,
                                                   std::function<void()> onChange) override;

    // What an open of path that failed with the errno error was, with what may help: for a
    // missing port the serial ports there are, for one in use who holds it.
    static SerialError OpenError(const std::string& path, int error);

  private:
    int fd_ = -1;
    termios settings_{};
    // The port's settings before we changed them, put back on Close.
    termios original_{};
    bool changed_ = false;
};
