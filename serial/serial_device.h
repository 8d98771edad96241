#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/event_loop.h"

// What went wrong with a port, classified once, by the device that saw it, with its text:
// whoever reads the port decides what to do from the kind alone.
struct SerialError {
    enum class Kind {
        Absent,        // nothing is there (not plugged in)
        Busy,          // another instance or program holds it
        NoPermission,  // the user may not open it, or it is another user's
        NotAPort,      // something is there, but no serial port
        ReadFailed,    // a read of the open port failed
        Failed,        // the open failed for another reason
    };
    Kind kind;
    // One line for the user: why, with what may help (the ports there are, the program
    // holding this one); for a read, the platform's words alone.
    std::string text;
};

// The serial port as the serial line needs it: small enough to fake in tests. The real one
// holds every call of the platform's serial API. Nothing here waits: the receiver loop waits
// on ReadyHandle.
class SerialDevice {
  public:
    enum class ReadStatus {
        Data,    // count bytes were stored
        Empty,   // nothing has come; ReadyHandle becomes ready when something does
        HungUp,  // the port went away (end of input or hang-up); it must be reopened
        Failed,  // the read call failed, as error says
    };
    struct ReadResult {
        ReadStatus status;
        std::size_t count = 0;
        std::optional<SerialError> error = std::nullopt;
    };

    virtual ~SerialDevice() = default;

    // Opens path read-only and exclusively, closing any port held before; why not, when it
    // did not open.
    virtual std::optional<SerialError> Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // The configuration steps, in the order they must run. Each is false when it failed.
    virtual bool ReadSettings() = 0;
    // 9600 baud in and out, 8N1, receiver on, modem lines ignored, line errors marked in
    // the data, raw input; written (discarding stale input) and read back.
    virtual bool WriteLineSettings() = 0;
    // The port is a terminal.
    virtual bool PrepareQueues() = 0;
    // A read takes what has arrived, one byte at least.
    virtual bool WriteTimeouts() = 0;

    // Ready when Read has something to say: bytes, a hang-up, a failure. Only while open;
    // it changes when the port is opened again.
    virtual EventLoop::Handle ReadyHandle() const = 0;
    // What has arrived, never waiting. Not called while closed.
    virtual ReadResult Read(std::span<std::uint8_t> buffer) = 0;
    // Watches for a port to appear at path (on Linux its path and the folders on the way to
    // it; on Windows the system's list of serial ports): onChange runs on the loop's thread
    // when it may have. Null when that cannot be watched.
    virtual std::unique_ptr<EventLoop::Watch> WatchArrival(EventLoop& loop, const std::string& path,
                                                           std::function<void()> onChange) = 0;
};

// The platform's real serial device; its file is chosen by the build.
std::unique_ptr<SerialDevice> MakeSerialDevice();

// Why path can never be the receiver's port (a regular file, a directory, a device that is
// no terminal, the program's own terminal); empty when it may be one. A path that does not
// exist may be: the receiver may not be plugged in yet.
std::string WhyNotASerialPort(const std::string& path);

// What path names, so that two names of one port are told for one: on Linux the path with
// its links resolved (as far as it exists yet), on Windows the port's name in capitals,
// without the device namespace's \\.\ before it.
std::string PortIdentity(const std::string& path);
