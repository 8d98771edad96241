#pragma once

#include <windows.h>

#include "serial/serial_device.h"

// The serial port through the Win32 comm API. Every CreateFile, comm-state, time-out and
// ReadFile call on a port lives in win32_comm_device.cpp. Errors are GetLastError values.
//
// Port names are COM1, COM10 and so on; each is opened through the \\.\ namespace, which
// is what makes COM10 and above reachable. A read waits for one byte, as the time-outs
// require (a longer read would wait for all its bytes), then takes what has arrived behind
// it (never more than is queued, so it never waits); it runs overlapped so Wake can end it. Line
// errors abort reads (fAbortOnError); the device clears them and reports each as the tty marks one
// (0xFF 0x00 0x00, with a data byte 0xFF doubled), so the serial line decodes the same stream on
// every platform: one failed read, and reading goes on.
class Win32CommDevice : public SerialDevice {
  public:
    static constexpr DWORD LineSpeed = CBR_9600;
    static constexpr DWORD QueueSize = 128;

    Win32CommDevice();
    ~Win32CommDevice() override;
    Win32CommDevice(const Win32CommDevice&) = delete;
    Win32CommDevice& operator=(const Win32CommDevice&) = delete;

    int Open(const std::string& path) override;
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

    // Needs room for five bytes (a doubled 0xFF and a marked line error); fills up to half
    // of the rest with what has arrived.
    ReadResult Read(std::span<std::uint8_t> buffer) override;
    // ClearCommError's input count; a line error it clears is kept for the next Read.
    bool InputWaiting() override;
    bool Pause(std::chrono::milliseconds duration) override;
    // Ends early when the system's serial ports change (HARDWARE\DEVICEMAP in the registry,
    // where each port that arrives is entered), or at once, the first time, if the port
    // is already there.
    bool AwaitPath(const std::string& path, std::chrono::milliseconds duration) override;
    void Wake() override;

    // For a missing port, the COM ports the system knows; for one in use, who holds it.
    bool IsAbsent(int error) const override {
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    std::string DescribeOpenError(const std::string& path, int error) const override;
    std::string DescribeReadError(int error) const override;

  private:
    enum class Transfer { Done, Failed, Stopped };
    // One overlapped ReadFile of up to size bytes, ended early by Wake; after Failed,
    // GetLastError holds why.
    Transfer ReadInto(std::uint8_t* data, DWORD size, DWORD& count);
    // Puts byte at buffer[at] as the tty marks it (0xFF doubled); returns the next index.
    static std::size_t Store(std::uint8_t byte, std::span<std::uint8_t> buffer, std::size_t at);

    // Forgets the watch on the serial ports, once the port is open.
    void StopWatching();

    HANDLE port_ = INVALID_HANDLE_VALUE;
    // A line error that InputWaiting cleared, for the next Read to report.
    bool lineErrorHeld_ = false;
    // Manual reset and never reset: once woken, every later wait ends at once.
    HANDLE wake_;
    // Signalled when the overlapped read in flight completes.
    HANDLE readDone_;
    DCB settings_{};
    // While the port is missing: the device map, a change notification armed on it, and
    // the event that notification sets.
    HKEY deviceMap_ = nullptr;
    bool changeArmed_ = false;
    HANDLE deviceMapChanged_;
};
