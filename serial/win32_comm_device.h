#pragma once

#include <windows.h>

#include "serial/serial_device.h"

// The serial port through the Win32 comm API. Every CreateFile, comm-state, time-out and
// ReadFile call on a port lives in win32_comm_device.cpp.
//
// Port names are COM1, COM10 and so on; each is opened through the \\.\ namespace, which
// is what makes COM10 and above reachable. Reads are overlapped: one of one byte is kept in
// flight, as the time-outs require (a longer read would wait for all its bytes), and its
// event is ReadyHandle; once it has completed, Read takes the byte and what has arrived
// behind it (never more than is queued, so it never waits). Line errors abort reads
// (fAbortOnError); the device clears them and reports each as the tty marks one (0xFF 0x00
// 0x00, with a data byte 0xFF doubled), so the serial line decodes the same stream on every
// platform: one failed read, and reading goes on.
class Win32CommDevice : public SerialDevice {
  public:
    static constexpr DWORD LineSpeed = CBR_9600;
    static constexpr DWORD QueueSize = 128;

    Win32CommDevice();
    ~Win32CommDevice() override;
    Win32CommDevice(const Win32CommDevice&) = delete;
    Win32CommDevice& operator=(const Win32CommDevice&) = delete;

    std::optional<SerialError> Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return port_ != INVALID_HANDLE_VALUE; }

    // GetCommState.
    bool ReadSettings() override;
    // 9600 8N1 with fAbortOnError; binary, with no flow control and no byte dropped or
    // replaced, so every byte the receiver sends arrives as it was sent. Stale input is
    // discarded first.
    bool WriteLineSettings() override;
    // SetupComm with 128-byte queues.
    bool PrepareQueues() override;
    // The receiver's time-outs: a one-byte read waits about 41.7 hours, in practice until
    // a byte arrives.
    bool WriteTimeouts() override;

    // The event the read in flight sets when it completes (manual reset).
    EventLoop::Handle ReadyHandle() const override { return readDone_; }
    // Starts the read when none is in flight. Needs room for five bytes (a doubled 0xFF and
    // a marked line error); fills up to half of the rest with what has arrived.
    ReadResult Read(std::span<std::uint8_t> buffer) override;
    // A change notification on the system's serial ports (HARDWARE\DEVICEMAP in the
    // registry, where each port that arrives is entered); onChange also runs once soon if
    // the port is there already.
    std::unique_ptr<EventLoop::Watch> WatchArrival(EventLoop& loop, const std::string& path,
                                                   std::function<void()> onChange) override;

    // What an open of path that failed with error was, with what may help: for a missing
    // port the COM ports the system knows.
    static SerialError OpenError(const std::string& path, DWORD error);

  private:
    // After a failed read: a line error as the tty marks it, Empty when the read was begun
    // again, or the failure.
    ReadResult Failure(DWORD error, std::span<std::uint8_t> buffer);
    // Begins the one-byte read; false, with GetLastError saying why, when it failed at once.
    bool BeginRead();
    // The bytes queued behind the first, stored after it; a line error they show ends them.
    std::size_t TakeQueued(std::span<std::uint8_t> buffer, std::size_t used);
    // Puts byte at buffer[at] as the tty marks it (0xFF doubled); returns the next index.
    static std::size_t Store(std::uint8_t byte, std::span<std::uint8_t> buffer, std::size_t at);

    HANDLE port_ = INVALID_HANDLE_VALUE;
    // The read in flight, while reading_: one byte into byte_, readDone_ set when it ends.
    HANDLE readDone_;
    OVERLAPPED overlapped_{};
    std::uint8_t byte_ = 0;
    bool reading_ = false;
    // Reads in a row that ended as a broken pipe with the port still there (see Read).
    int brokenPipes_ = 0;
    DCB settings_{};
};
