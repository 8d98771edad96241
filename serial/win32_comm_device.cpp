#include "serial/win32_comm_device.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "log/untrusted_text.h"
#include "log/wide_text.h"
#include "log/win32_error_text.h"
#include "serial/port_listing.h"

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
constexpr int MaxEmptyReads = 3;

// The name a port is opened by, in the device namespace (which is what makes COM10 and
// above reachable); wide, so a path in any script opens.
std::wstring PortName(const std::string& path) {
    return Widen(path.rfind("\\\\", 0) == 0 ? path : "\\\\.\\" + path);
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

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
    return std::make_unique<Win32CommDevice>();
}

Win32CommDevice::Win32CommDevice()
    : wake_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      readDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      deviceMapChanged_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (wake_ == nullptr || readDone_ == nullptr || deviceMapChanged_ == nullptr) {
        throw std::runtime_error("CreateEvent: " + Win32ErrorText(GetLastError()));
    }
}

Win32CommDevice::~Win32CommDevice() {
    Close();
    StopWatching();
    CloseHandle(deviceMapChanged_);
    CloseHandle(readDone_);
    CloseHandle(wake_);
}

int Win32CommDevice::Open(const std::string& path) {
    Close();
    // No sharing: the port is ours alone. Overlapped, so a read can be cancelled.
    const HANDLE port = CreateFileW(PortName(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return static_cast<int>(GetLastError());
    }
    port_ = port;
    StopWatching();
    return 0;
}

void Win32CommDevice::Close() {
    if (port_ != INVALID_HANDLE_VALUE) {
        CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
    }
    lineErrorHeld_ = false;
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

Win32CommDevice::Transfer Win32CommDevice::ReadInto(std::uint8_t* data, DWORD size, DWORD& count) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = readDone_;
    ResetEvent(readDone_);
    count = 0;
    BOOL done = ReadFile(port_, data, size, &count, &overlapped);
    if (!done && GetLastError() == ERROR_IO_PENDING) {
        const HANDLE waits[2] = {wake_, readDone_};
        // The wake-up first, so a stop wins over a byte that arrives at the same time.
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
            CancelIoEx(port_, &overlapped);
            // The read must be over before its OVERLAPPED goes out of scope.
            GetOverlappedResult(port_, &overlapped, &count, TRUE);
            return Transfer::Stopped;
        }
        done = GetOverlappedResult(port_, &overlapped, &count, TRUE);
    }
    return done ? Transfer::Done : Transfer::Failed;
}

bool Win32CommDevice::InputWaiting() {
    COMSTAT queue{};
    DWORD errors = 0;
    if (ClearCommError(port_, &errors, &queue) && (errors & LineErrors) != 0) {
        lineErrorHeld_ = true;
    }
    return lineErrorHeld_ || queue.cbInQue > 0;
}

SerialDevice::ReadResult Win32CommDevice::Read(std::span<std::uint8_t> buffer) {
    if (lineErrorHeld_) {
        lineErrorHeld_ = false;
        buffer[0] = MarkByte;
        buffer[1] = ErrorByte;
        buffer[2] = ErrorByte;
        return {ReadStatus::Data, 3};
    }
    int emptyReads = 0;
    for (;;) {
        std::uint8_t byte = 0;
        DWORD count = 0;
        const Transfer first = ReadInto(&byte, 1, count);
        if (first == Transfer::Stopped) {
            return {ReadStatus::Stopped};
        }
        if (first == Transfer::Failed) {
            const DWORD error = GetLastError();
            DWORD errors = 0;
            const bool answers = ClearCommError(port_, &errors, nullptr) != 0;
            if (answers && (errors & LineErrors) != 0) {
                buffer[0] = MarkByte;
                buffer[1] = ErrorByte;
                buffer[2] = ErrorByte;
                return {ReadStatus::Data, 3};
            }
            // Wine ends a read that found nothing on a Unix serial device as a broken pipe,
            // a hung-up one too; a port that still answers has not gone. Bounded, so a
            // port that keeps answering so is not read in a busy loop.
            if (error == ERROR_BROKEN_PIPE && answers && ++emptyReads < MaxEmptyReads) {
                continue;
            }
            return {FailureKind(error), 0, static_cast<int>(error)};
        }
        if (count == 0) {
            continue;  // the total time-out ran out with no byte: read on
        }
        std::size_t used = Store(byte, buffer, 0);
        // What has arrived behind it is taken at once: a read of no more bytes than are
        // queued returns without waiting, whatever the time-outs. Each may be doubled.
        COMSTAT queue{};
        DWORD errors = 0;
        if (ClearCommError(port_, &errors, &queue) && (errors & LineErrors) != 0) {
            // Cleared here, so reported here: after the byte that was read before it.
            buffer[used++] = MarkByte;
            buffer[used++] = ErrorByte;
            buffer[used++] = ErrorByte;
            return {ReadStatus::Data, used};
        }
        std::uint8_t more[32];
        const DWORD wanted = std::min<DWORD>({queue.cbInQue, static_cast<DWORD>(sizeof more),
                                              static_cast<DWORD>((buffer.size() - used) / 2)});
        if (wanted > 0 && ReadInto(more, wanted, count) == Transfer::Done) {
            for (DWORD i = 0; i < count; ++i) {
                used = Store(more[i], buffer, used);
            }
        }
        // A stop or a failure here shows at the next read, as the bytes read so far go on.
        return {ReadStatus::Data, used};
    }
}

std::size_t Win32CommDevice::Store(std::uint8_t byte, std::span<std::uint8_t> buffer,
                                   std::size_t at) {
    buffer[at++] = byte;
    if (byte == MarkByte) {
        buffer[at++] = MarkByte;
    }
    return at;
}

bool Win32CommDevice::Pause(std::chrono::milliseconds duration) {
    return WaitForSingleObject(wake_, static_cast<DWORD>(duration.count())) == WAIT_TIMEOUT;
}

bool Win32CommDevice::AwaitPath(const std::string& path, std::chrono::milliseconds duration) {
    const bool first = deviceMap_ == nullptr;
    if (first && (deviceMap_ = PortListing::OpenForChanges()) == nullptr) {
        return Pause(duration);
    }
    // One notification at a time: it stays armed through waits that time out.
    if (!changeArmed_) {
        ResetEvent(deviceMapChanged_);
        changeArmed_ = PortListing::NotifyNextChange(deviceMap_, deviceMapChanged_);
        if (!changeArmed_) {
            return Pause(duration);
        }
    }
    // A port that arrived before the watch was armed would never be announced.
    const std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    wchar_t target[MAX_PATH];
    if (first && QueryDosDeviceW(Widen(name).c_str(), target, MAX_PATH) != 0) {
        return true;
    }
    const HANDLE waits[2] = {wake_, deviceMapChanged_};
    const DWORD woke =
        WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(duration.count()));
    if (woke == WAIT_OBJECT_0 + 1) {
        changeArmed_ = false;
    }
    return woke != WAIT_OBJECT_0;
}

void Win32CommDevice::StopWatching() {
    // Closing the key ends its notification.
    if (deviceMap_ != nullptr) {
        RegCloseKey(deviceMap_);
        deviceMap_ = nullptr;
        changeArmed_ = false;
    }
}

void Win32CommDevice::Wake() {
    SetEvent(wake_);
}

std::string Win32CommDevice::DescribeOpenError(const std::string& path, int error) const {
    std::string text =
        "cannot open serial port " + path + ": " + Win32ErrorText(static_cast<DWORD>(error));
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: {
            const auto ports = PortListing::Named(PortListing::Ports());
            text += ports.empty() ? " (no such port, and no COM ports were found: is the "
                                    "receiver plugged in?)"
                                  : " (no such port; COM ports here: " + Joined(ports) + ")";
            break;
        }
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            text += " (held by another program)";
            break;
        default:
            break;
    }
    return text;
}

std::string Win32CommDevice::DescribeReadError(int error) const {
    return Win32ErrorText(static_cast<DWORD>(error));
}

std::string WhyNotASerialPort(const std::string& path) {
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
