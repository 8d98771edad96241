// Typing on Windows. A console's input handle is in the loop's wait: its key events are
// taken as they come and the line is edited and echoed here, as the console itself would
// while a read waits (no read waits). A pipe cannot be waited on: it is looked into at a
// short interval. A file, or NUL, is read when asked, which never blocks.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "learning/typed_input.h"
#include "text/wide_text.h"

namespace {

// How often a pipe is looked into while the learner waits.
constexpr auto PipeLook = std::chrono::milliseconds(100);
// Ctrl-Z at the start of a line ends typing, as it ends a console's input.
constexpr wchar_t EndOfInput = 0x1A;

class Win32TypedInput : public TypedInput {
  public:
    Win32TypedInput() : in_(GetStdHandle(STD_INPUT_HANDLE)) {
        DWORD mode = 0;
        if (in_ == nullptr || in_ == INVALID_HANDLE_VALUE) {
            ended_ = true;
        } else if (GetConsoleMode(in_, &mode)) {
            kind_ = Kind::Console;
        } else if (GetFileType(in_) == FILE_TYPE_PIPE) {
            kind_ = Kind::Pipe;
        }
    }
    ~Win32TypedInput() override {
        if (echo_ != INVALID_HANDLE_VALUE) {
            CloseHandle(echo_);
        }
    }
    Win32TypedInput(const Win32TypedInput&) = delete;
    Win32TypedInput& operator=(const Win32TypedInput&) = delete;

    void Attach(EventLoop& loop, std::function<void()> typed) override {
        typed_ = std::move(typed);
        if (ended_) {
            return;
        }
        if (kind_ == Kind::Console) {
            watch_ = loop.WatchHandle(in_, [this] {
                TakeConsoleEvents();
                Said();
            });
        } else if (kind_ == Kind::Pipe) {
            look_ = loop.MakeTimer([this] {
                LookIntoPipe();
                Said();
                if (!ended_ && kind_ == Kind::Pipe) {
                    look_->Set(EventLoop::Clock::now() + PipeLook);
                }
            });
            look_->Set(EventLoop::Clock::now());
        }
    }
    void Detach() override {
        watch_.reset();
        look_.reset();
        typed_ = nullptr;
    }
    std::optional<std::string> Take() override {
        while (kind_ == Kind::File && !Whole()) {
            ReadBytes(4096);
        }
        return Pop();
    }
    bool Ended() override {
        while (kind_ == Kind::File && !Whole()) {
            ReadBytes(4096);
        }
        return ended_ && lines_.empty() && bytes_.empty();
    }
    std::optional<std::string> WaitLine() override {
        while (!Whole()) {
            if (kind_ == Kind::Console) {
                ReadConsoleLine();
            } else {
                ReadBytes(4096);
            }
        }
        return Pop();
    }

  private:
    enum class Kind { File, Pipe, Console };

    bool Whole() const {
        return ended_ || !lines_.empty() || bytes_.find('\n') != std::string::npos;
    }
    void Said() {
        if (Whole() && typed_) {
            typed_();
        }
    }

    // A file's or a pipe's bytes, at most wanted: a read that never blocks, as a file's or
    // a pipe's with as much waiting.
    void ReadBytes(DWORD wanted) {
        char chunk[4096];
        DWORD got = 0;
        if (!ReadFile(in_, chunk, std::min<DWORD>(wanted, sizeof chunk), &got, nullptr) ||
            got == 0) {
            ended_ = true;
            look_.reset();
            return;
        }
        bytes_.append(chunk, got);
    }
    void LookIntoPipe() {
        DWORD waiting = 0;
        if (PeekNamedPipe(in_, nullptr, 0, nullptr, &waiting, nullptr)) {
            if (waiting > 0) {
                ReadBytes(waiting);
            }
        } else if (GetLastError() == ERROR_BROKEN_PIPE) {
            ended_ = true;  // the writer is gone
        } else {
            // A pipe that cannot be looked into (Wine's, from a Unix shell): read when
            // asked, as a file is, which waits for the writer.
            kind_ = Kind::File;
            if (typed_) {
                typed_();
            }
        }
    }

    // Every key event waiting, as the console's own line editing takes them.
    void TakeConsoleEvents() {
        DWORD count = 0;
        while (GetNumberOfConsoleInputEvents(in_, &count) && count > 0) {
            INPUT_RECORD records[64];
            DWORD got = 0;
            if (!ReadConsoleInputW(in_, records, 64, &got) || got == 0) {
                ended_ = true;
                break;
            }
            for (DWORD i = 0; i < got; ++i) {
                const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
                if (records[i].EventType == KEY_EVENT && key.bKeyDown) {
                    for (WORD n = 0; n < key.wRepeatCount; ++n) {
                        Typed(key.uChar.UnicodeChar);
                    }
                }
            }
        }
        if (ended_) {
            watch_.reset();
        }
    }
    void Typed(wchar_t c) {
        if (c == L'\r') {
            Echo(L"\r\n");
            lines_.push_back(Narrow(editing_));
            editing_.clear();
        } else if (c == L'\b' && !editing_.empty()) {
            const bool pair = editing_.size() > 1 && IS_LOW_SURROGATE(editing_.back());
            editing_.erase(editing_.size() - (pair ? 2 : 1));
            Echo(L"\b \b");
        } else if (c == EndOfInput && editing_.empty()) {
            ended_ = true;
        } else if (c >= L' ') {
            editing_ += c;
            Echo(std::wstring(1, c));
        }
    }
    void Echo(const std::wstring& text) {
        if (echo_ == INVALID_HANDLE_VALUE) {
            echo_ =
                CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        }
        DWORD written = 0;
        WriteConsoleW(echo_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    // A line as the console reads one, for a question asked with no loop running.
    void ReadConsoleLine() {
        wchar_t chunk[512];
        DWORD got = 0;
        if (!ReadConsoleW(in_, chunk, 512, &got, nullptr) || got == 0 || chunk[0] == EndOfInput) {
            ended_ = true;
            return;
        }
        bytes_ += Narrow(std::wstring_view(chunk, got));
    }

    std::optional<std::string> Pop() {
        if (!lines_.empty()) {
            std::string line = std::move(lines_.front());
            lines_.erase(lines_.begin());
            return line;
        }
        const std::size_t end = bytes_.find('\n');
        if (end == std::string::npos && !(ended_ && !bytes_.empty())) {
            return std::nullopt;
        }
        std::string line = bytes_.substr(0, end);
        bytes_.erase(0, end == std::string::npos ? end : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }

    HANDLE in_;
    Kind kind_ = Kind::File;
    HANDLE echo_ = INVALID_HANDLE_VALUE;
    std::wstring editing_;            // the console's line as far as it is typed
    std::vector<std::string> lines_;  // the console's lines typed whole
    std::string bytes_;               // a file's or a pipe's, not yet a line
    bool ended_ = false;
    std::function<void()> typed_;
    std::unique_ptr<EventLoop::Watch> watch_;
    std::unique_ptr<EventLoop::Timer> look_;
};

}  // namespace

std::unique_ptr<TypedInput> MakeStandardInput() {
    return std::make_unique<Win32TypedInput>();
}
