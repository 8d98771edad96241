#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// The serial port as the serial line needs it: small enough to fake in tests. The real one
// holds every call of the platform's serial API; it also owns the wake-up used to stop
// waits. Error values are the platform's own (errno values on POSIX), 0 for none.
class SerialDevice {
  public:
    enum class ReadStatus {
        Data,     // count bytes were stored
        HungUp,   // the port went away (end of input or hang-up); it must be reopened
        Failed,   // the read call failed with error
        Stopped,  // Wake was called
    };
    struct ReadResult {
        ReadStatus status;
        std::size_t count = 0;
        int error = 0;
    };

    virtual ~SerialDevice() = default;

    // Opens path read-only and exclusively, closing any port held before. Returns 0 or an
    // error value.
    virtual int Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // The configuration steps, in the order they must run. Each is false when it failed.
    virtual bool ReadSettings() = 0;
    // 9600 baud in and out, 8N1, receiver on, modem lines ignored, line errors marked in
    // the data, raw input; written (discarding stale input) and read back.
    virtual bool WriteLineSettings() = 0;
    // The port is a terminal.
    virtual bool PrepareQueues() = 0;
    // A read blocks until at least one byte has arrived.
    virtual bool WriteTimeouts() = 0;

    // Blocks until bytes arrive, the read fails or Wake is called. Not called while closed.
    virtual ReadResult Read(std::span<std::uint8_t> buffer) = 0;
    // Waits for duration; false if Wake cut it short.
    virtual bool Pause(std::chrono::milliseconds duration) = 0;
    // As Pause, but also ends early (true) when something appears at path or on the way to
    // it: a receiver plugged in, its stable link made. Without a way to watch, as Pause.
    virtual bool AwaitPath(const std::string& /*path*/, std::chrono::milliseconds duration) {
        return Pause(duration);
    }
    // Whether input has arrived that Read would hand over without waiting. Without a way to
    // tell, false. Not called while closed.
    virtual bool InputWaiting() { return false; }
    // Waits at most longest for input that Read would hand over without waiting. By default
    // InputWaiting between short pauses: only a key's gesture waits so, for well under a
    // second. Not called while closed.
    enum class Arrival { Input, TimedOut, Stopped };
    virtual Arrival AwaitInput(std::chrono::milliseconds longest) {
        constexpr std::chrono::milliseconds slice{10};
        for (;;) {
            if (InputWaiting()) {
                return Arrival::Input;
            }
            if (longest <= std::chrono::milliseconds::zero()) {
                return Arrival::TimedOut;
            }
            if (!Pause(std::min(slice, longest))) {
                return Arrival::Stopped;
            }
            longest -= std::min(slice, longest);
        }
    }
    // Safe from any thread. From then on Read and Pause return at once.
    virtual void Wake() = 0;

    // One line for the user on why Open(path) gave error, with what may help (the ports
    // there are, the program holding this one).
    virtual std::string DescribeOpenError(const std::string& path, int error) const = 0;
    // Whether Open's error means nothing is there at all (not plugged in).
    virtual bool IsAbsent(int error) const = 0;
    // What the last failed Read's error means.
    virtual std::string DescribeReadError(int error) const = 0;
};

// The platform's real serial device; its file is chosen by the build.
std::unique_ptr<SerialDevice> MakeSerialDevice();

// Why path can never be the receiver's port (a regular file, a directory, a device that is
// no terminal, the program's own terminal); empty when it may be one. A path that does not
// exist may be: the receiver may not be plugged in yet.
std::string WhyNotASerialPort(const std::string& path);
