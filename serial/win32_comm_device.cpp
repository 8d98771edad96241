#include "serial/win32_comm_device.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "log/untrusted_text.h"
#include "serial/port_listing.h"
#include "serial/serial_log.h"
#include "serial/windows_port_name.h"
#include "text/wide_text.h"
#include "text/win32_error_text.h"

namespace {

// The receiver's read time-outs, in milliseconds; the write ones never matter.
constexpr DWORD ReadIntervalTimeout = 705032704;
constexpr DWORD ReadTotalTimeoutMultiplier = 100000000;
constexpr DWORD ReadTotalTimeoutConstant = 50000000;
constexpr DWORD WriteTotalTimeoutMultiplier = 10;
constexpr DWORD WriteTotalTimeoutConstant = 50;

// The comm errors that are a damaged byte or a lost one, as opposed to a lost port.
constexpr DWORD LineErrors = CE_FRAME | CE_RXPARITY | CE_BREAK | CE_OVERRUN | CE_RXOVER;

// How the tty marks a line error and a data byte 0xFF (see LineErrorDecoder).
constexpr std::uint8_t MarkByte = 0xFF;
constexpr std::uint8_t ErrorByte = 0x00;

// Reads in a row that may end as a broken pipe with the port still there (see Read).
constexpr int MaxBrokenPipes = 3;
// Reads begun again at once within one Read, when one ends with nothing.
constexpr int MaxReadsAtOnce = 3;

// The name a port is opened by, in the device namespace (which is what makes COM10 and
// above reachable); wide, so a path in any script opens.
std::wstring PortName(const std::string& path) {
    return Widen(path.rfind("\\\\", 0) == 0 ? path : "\\\\.\\" + path);
}

// The port's own name, without the device namespace's \\.\ before it.
std::string BareName(const std::string& path) {
    return path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string joined;
    for (const auto& item : items) {
        joined += (joined.empty() ? "" : ", ") + item;
    }
    return joined;
}

// What a failed read means: the port gone (unplugged, or its other end closed) or a
// failure of the read itself.
SerialDevice::ReadStatus FailureKind(DWORD error) {
    switch (error) {
        case ERROR_BROKEN_PIPE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_BAD_COMMAND:
        case ERROR_ACCESS_DENIED:
            return SerialDevice::ReadStatus::HungUp;
        default:
            return SerialDevice::ReadStatus::Failed;
    }
}

SerialError ReadError(DWORD error) {
    return {SerialError::Kind::ReadFailed, Win32ErrorText(error)};
}

void StoreLineError(std::span<std::uint8_t> buffer, std::size_t& used) {
    buffer[used++] = MarkByte;
    buffer[used++] = ErrorByte;
    buffer[used++] = ErrorByte;
}

// The system's serial ports watched on the loop, while a port is missing: a change
// notification on the device map, armed again each time it is set.
class ArrivalWatch : public EventLoop::Watch {
  public:
    ArrivalWatch(EventLoop& loop, std::function<void()> onChange)
        : key_(PortListing::OpenForChanges()),
          changed_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          onChange_(std::move(onChange)) {
        if (key_ != nullptr && changed_ != nullptr &&
            PortListing::NotifyNextChange(key_, changed_)) {
            watch_ = loop.WatchHandle(changed_, [this] {
                ResetEvent(changed_);
                PortListing::NotifyNextChange(key_, changed_);
                Changed();
            });
        }
    }
    ~ArrivalWatch() override {
        soon_.reset();
        watch_.reset();  // out of the loop before the event closes
        if (key_ != nullptr) {
            RegCloseKey(key_);  // which ends the notification
        }
        if (changed_ != nullptr) {
            CloseHandle(changed_);
        }
    }
    ArrivalWatch(const ArrivalWatch&) = delete;
    ArrivalWatch& operator=(const ArrivalWatch&) = delete;

    bool Watching() const { return watch_ != nullptr; }
    // A port that arrived before the notification was armed would never be announced.
    void Soon(EventLoop& loop) {
        soon_ = loop.MakeTimer([this] { Changed(); });
        soon_->Set(EventLoop::Clock::now());
    }

  private:
    // Last, and on a copy: onChange may end the watch.
    void Changed() {
        const auto onChange = onChange_;
        onChange();
    }

    HKEY key_;
    HANDLE changed_;
    std::function<void()> onChange_;
    std::unique_ptr<EventLoop::Watch> watch_;
    std::unique_ptr<EventLoop::Timer> soon_;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
    return std::make_unique<Win32CommDevice>();
}

Win32CommDevice::Win32CommDevice() : readDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (readDone_ == nullptr) {
        throw std::runtime_error("CreateEvent: " + Win32ErrorText(GetLastError()));
    }
}

Win32CommDevice::~Win32CommDevice() {
    Close();
    CloseHandle(readDone_);
}

std::optional<SerialError> Win32CommDevice::Open(const std::string& path) {
    Close();
    // No sharing: the port is ours alone. Overlapped, so no read waits.
    const HANDLE port = CreateFileW(PortName(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return OpenError(path, GetLastError());
    }
    port_ = port;
    return std::nullopt;
}

void Win32CommDevice::Close() {
    if (port_ == INVALID_HANDLE_VALUE) {
        return;
    }
    if (reading_) {
        // The read must be over before its OVERLAPPED is used again, or goes.
        CancelIoEx(port_, &overlapped_);
        DWORD count = 0;
        GetOverlappedResult(port_, &overlapped_, &count, TRUE);
        reading_ = false;
    }
    CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    brokenPipes_ = 0;
}

bool Win32CommDevice::ReadSettings() {
    settings_ = DCB{};
    settings_.DCBlength = sizeof settings_;
    return GetCommState(port_, &settings_) != 0;
}

bool Win32CommDevice::WriteLineSettings() {
    settings_.DCBlength = sizeof settings_;
    settings_.BaudRate = LineSpeed;
    settings_.ByteSize = 8;
    settings_.Parity = NOPARITY;
    settings_.StopBits = ONESTOPBIT;
    settings_.fAbortOnError = TRUE;
    // What raw mode is on a tty. A port left with XON/XOFF would swallow 0x11 and 0x13, one
    // with DSR sensitivity would drop every byte from a receiver that does not drive DSR.
    // DTR and RTS stay as they were: some receivers draw their power from them.
    settings_.fBinary = TRUE;
    settings_.fParity = FALSE;
    settings_.fOutxCtsFlow = FALSE;
    settings_.fOutxDsrFlow = FALSE;
    settings_.fDsrSensitivity = FALSE;
    settings_.fOutX = FALSE;
    settings_.fInX = FALSE;
    settings_.fErrorChar = FALSE;
    settings_.fNull = FALSE;
    // Bytes that waited in the driver were sent before anyone listened, perhaps at another
    // speed.
    PurgeComm(port_, PURGE_RXCLEAR);
    return SetCommState(port_, &settings_) != 0;
}

bool Win32CommDevice::PrepareQueues() {
    return SetupComm(port_, QueueSize, QueueSize) != 0;
}

bool Win32CommDevice::WriteTimeouts() {
    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(port_, &timeouts);
    timeouts.ReadIntervalTimeout = ReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = ReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = ReadTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = WriteTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = WriteTotalTimeoutConstant;
    return SetCommTimeouts(port_, &timeouts) != 0;
}

bool Win32CommDevice::BeginRead() {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = readDone_;
    // Done at once or pending, the result is taken from GetOverlappedResult.
    reading_ = ReadFile(port_, &byte_, 1, nullptr, &overlapped_) != 0 ||
               GetLastError() == ERROR_IO_PENDING;
    return reading_;
}

SerialDevice::ReadResult Win32CommDevice::Read(std::span<std::uint8_t> buffer) {
    for (int read = 0; read < MaxReadsAtOnce; ++read) {
        if (!reading_ && !BeginRead()) {
            const ReadResult failed = Failure(GetLastError(), buffer);
            if (failed.status == ReadStatus::Empty) {
                continue;
            }
            return failed;
        }
        DWORD count = 0;
        if (!GetOverlappedResult(port_, &overlapped_, &count, FALSE)) {
            const DWORD error = GetLastError();
            if (error == ERROR_IO_INCOMPLETE) {
                return {ReadStatus::Empty};  // readDone_ is set when it ends
            }
            reading_ = false;
            const ReadResult failed = Failure(error, buffer);
            if (failed.status == ReadStatus::Empty) {
                continue;
            }
            return failed;
        }
        reading_ = false;
        if (count == 0) {
            continue;  // the total time-out ran out with no byte: read on
        }
        brokenPipes_ = 0;
        return {ReadStatus::Data, TakeQueued(buffer, Store(byte_, buffer, 0))};
    }
    // Reads that keep ending with nothing: the port is not read in a busy loop.
    return {ReadStatus::Failed, 0, ReadError(ERROR_TIMEOUT)};
}

SerialDevice::ReadResult Win32CommDevice::Failure(DWORD error, std::span<std::uint8_t> buffer) {
    DWORD errors = 0;
    const bool answers = ClearCommError(port_, &errors, nullptr) != 0;
    if (answers && (errors & LineErrors) != 0) {
        std::size_t used = 0;
        StoreLineError(buffer, used);
        return {ReadStatus::Data, used};
    }
    // Wine ends a read that found nothing on a Unix serial device as a broken pipe, a
    // hung-up one too; a port that still answers has not gone, and is read again. Bounded,
    // so a port that keeps answering so is not read in a busy loop.
    if (error == ERROR_BROKEN_PIPE && answers && ++brokenPipes_ < MaxBrokenPipes) {
        return {ReadStatus::Empty};
    }
    if (FailureKind(error) == ReadStatus::HungUp) {
        return {ReadStatus::HungUp};
    }
    return {ReadStatus::Failed, 0, ReadError(error)};
}

std::size_t Win32CommDevice::TakeQueued(std::span<std::uint8_t> buffer, std::size_t used) {
    // A read of no more bytes than are queued ends without waiting, whatever the
    // time-outs. Each may be doubled.
    COMSTAT queue{};
    DWORD errors = 0;
    if (ClearCommError(port_, &errors, &queue) && (errors & LineErrors) != 0) {
        // Cleared here, so reported here: after the byte that was read before it.
        StoreLineError(buffer, used);
        return used;
    }
    std::uint8_t more[32];
    const DWORD wanted = std::min<DWORD>({queue.cbInQue, static_cast<DWORD>(sizeof more),
                                          static_cast<DWORD>((buffer.size() - used) / 2)});
    if (wanted == 0) {
        return used;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = readDone_;
    DWORD count = 0;
    if (ReadFile(port_, more, wanted, nullptr, &overlapped) || GetLastError() == ERROR_IO_PENDING) {
        // A failure shows at the next read, as the bytes read so far go on.
        if (GetOverlappedResult(port_, &overlapped, &count, TRUE)) {
            for (DWORD i = 0; i < count; ++i) {
                used = Store(more[i], buffer, used);
            }
        }
    }
    return used;
}

std::size_t Win32CommDevice::Store(std::uint8_t byte, std::span<std::uint8_t> buffer,
                                   std::size_t at) {
    buffer[at++] = byte;
    if (byte == MarkByte) {
        buffer[at++] = MarkByte;
    }
    return at;
}

std::unique_ptr<EventLoop::Watch> Win32CommDevice::WatchArrival(EventLoop& loop,
                                                                const std::string& path,
                                                                std::function<void()> onChange) {
    auto watch = std::make_unique<ArrivalWatch>(loop, std::move(onChange));
    if (!watch->Watching()) {
        QUORVEL_INFO(lcReceiver) << "the system's serial ports cannot be watched; the port is "
                                    "looked for at the back-off's pace";
    }
    const std::string name = BareName(path);
    wchar_t target[MAX_PATH];
    if (QueryDosDeviceW(Widen(name).c_str(), target, MAX_PATH) != 0) {
        watch->Soon(loop);
    }
    return watch;
}

SerialError Win32CommDevice::OpenError(const std::string& path, DWORD error) {
    SerialError why{SerialError::Kind::Failed,
                    "cannot open serial port " + path + ": " + Win32ErrorText(error)};
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: {
            why.kind = SerialError::Kind::Absent;
            const auto ports = PortListing::Named(PortListing::Ports());
            why.text += ports.empty() ? " (no such port, and no COM ports were found: is the "
                                        "receiver plugged in?)"
                                      : " (no such port; COM ports here: " + Joined(ports) + ")";
            break;
        }
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            why.kind = SerialError::Kind::Busy;
            why.text += " (held by another program)";
            break;
        default:
            break;
    }
    return why;
}

std::string PortIdentity(const std::string& path) {
    std::string name = BareName(path);
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return name;
}

std::string WhyNotASerialPort(const std::string& path) {
    if (std::string why = WhyNotAWindowsPortName(path); !why.empty()) {
        return why;
    }
    // Any name that does not open may be a COM port the system has yet to make (an adapter
    // not plugged in), or one another program holds; the receiver's own open explains it.
    // Opened only to ask, sharing everything, so a file in use is still seen for what it is.
    const HANDLE handle = CreateFileW(PortName(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string why;
    switch (GetFileType(handle)) {
        case FILE_TYPE_DISK: {
            BY_HANDLE_FILE_INFORMATION information{};
            const bool folder = GetFileInformationByHandle(handle, &information) &&
                                (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            why = folder ? " is a folder, not a serial port" : " is a file, not a serial port";
            break;
        }
        case FILE_TYPE_PIPE:
            why = " is a pipe, not a serial port";
            break;
        default: {
            // A character device that has no line settings (NUL, CON, a printer).
            DCB settings{};
            settings.DCBlength = sizeof settings;
            if (!GetCommState(handle, &settings)) {
                why = " is not a serial port";
            }
            break;
        }
    }
    CloseHandle(handle);
    return why.empty() ? why : UntrustedText(path) + why;
}
