#pragma once

#include <termios.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// The sending end of a serial line: either a pseudo-terminal of our own, whose other end a
// reader opens like a real port, or a device we were given (one end of a null-modem pair).
// The virtual receiver sends through it; tests and benchmarks use it as their serial port.
class VirtualPort {
  public:
    static constexpr std::chrono::milliseconds Forever = std::chrono::milliseconds::max();

    ~VirtualPort();
    VirtualPort(const VirtualPort&) = delete;
    VirtualPort& operator=(const VirtualPort&) = delete;

    // A new pseudo-terminal; readerPath() is what the reader opens. Throws std::system_error
    // when the system has none to give. Destroying it hangs the line up, as unplugging a USB
    // adapter does.
    static std::unique_ptr<VirtualPort> CreatePty();
    // Opens a device for writing; a terminal is set to 9600 8N1 raw. Null and error set on
    // failure.
    static std::unique_ptr<VirtualPort> OpenDevice(const std::string& path, std::string& error);

    const std::string& readerPath() const { return readerPath_; }

    // For our own pseudo-terminal: waits until a reader has put the line into raw mode, as
    // the receiver program does when it configures the port; false if limit passed first.
    // Bytes sent before that would be mangled by the terminal's line editing (0x0D turned
    // into 0x0A, for one) or thrown away when the reader flushes its input.
    bool WaitForRawReader(std::chrono::milliseconds limit = Forever) const;

    // For our own pseudo-terminal: waits (a few seconds at most) until the reader has taken
    // every byte, since closing the pseudo-terminal throws away what is still unread.
    void Drain() const;

    // Writes every byte, as fast as the reader takes them. False when the line is gone, or
    // when no byte could be written for stallLimit (a reader that stopped reading).
    bool Write(const std::vector<unsigned char>& bytes,
               std::chrono::milliseconds stallLimit = Forever);

    // For our own pseudo-terminal: the reader end's line settings, as a reader sees them.
    termios ReaderSettings() const;
    void SetReaderSettings(const termios& settings);

  private:
    VirtualPort(int writeFd, int slaveFd, std::string readerPath)
        : writeFd_(writeFd), slaveFd_(slaveFd), readerPath_(std::move(readerPath)) {}

    int writeFd_;
    int slaveFd_;  // -1 for a device; held open for a pty so a reader's close is no hang-up
    std::string readerPath_;
};
