#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/console_output.h"

ConsoleOutput::ConsoleOutput(std::FILE* out) : out_(out) {
    const int fd = _fileno(out);
    if (fd < 0) {
        return;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_PIPE) {
        return;  // a console or a file: written through the stream
    }
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    std::fflush(out);
    if (SetNamedPipeHandleState(handle, &mode, nullptr, nullptr)) {
        handle_ = handle;
        // The stream's text mode, kept: asked by setting it, then put back.
        const int previous = _setmode(fd, _O_BINARY);
        crlf_ = previous == _O_TEXT;
        _setmode(fd, previous);
    }
}

ConsoleOutput::~ConsoleOutput() = default;

std::ptrdiff_t ConsoleOutput::Write(std::string_view text, int& error) {
    if (text.empty()) {
        return 0;
    }
    if (handle_ == nullptr) {
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), out_) != text.size() ||
            std::fflush(out_) != 0) {
            const DWORD why = GetLastError();
            error = errno != 0 ? errno : EIO;
            // The C runtime says EINVAL of a pipe whose reader is gone; the system says which.
            if (error == EINVAL && (why == ERROR_NO_DATA || why == ERROR_BROKEN_PIPE)) {
                error = EPIPE;
            }
            return -1;
        }
        return static_cast<std::ptrdiff_t>(text.size());
    }
    // Line by line where newlines become CR LF, so what is taken is counted in the text's
    // own bytes.
    std::ptrdiff_t taken = 0;
    while (!text.empty()) {
        const std::size_t line = crlf_ ? text.find('\n') : std::string_view::npos;
        const std::string_view part = text.substr(0, line);
        std::string chunk(part);
        if (line != std::string_view::npos) {
            chunk += "\r\n";
        }
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), chunk.data(), static_cast<DWORD>(chunk.size()),
                       &written, nullptr)) {
            const DWORD why = GetLastError();
            if (why == ERROR_NO_DATA || why == ERROR_BROKEN_PIPE) {
                error = EPIPE;
                return -1;
            }
            error = EIO;
            return -1;
        }
        if (written < chunk.size()) {
            // Part of a line: what a no-wait pipe took is kept, the rest comes later.
            return taken + static_cast<std::ptrdiff_t>(std::min<std::size_t>(written, part.size()));
        }
        const std::size_t consumed = part.size() + (line != std::string_view::npos ? 1 : 0);
        taken += static_cast<std::ptrdiff_t>(consumed);
        text.remove_prefix(consumed);
    }
    return taken;
}
