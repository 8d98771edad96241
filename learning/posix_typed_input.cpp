// Typing on Linux: a descriptor on the loop. Lines are split here, so what one read brings
// beyond a line waits for the next Take.
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "learning/typed_input.h"

namespace {

class FdTypedInput : public TypedInput {
  public:
    explicit FdTypedInput(int fd) : fd_(fd) {}

    void Attach(EventLoop& loop, std::function<void()> typed) override {
        typed_ = std::move(typed);
        if (ended_) {
            return;
        }
        try {
            watch_ = loop.WatchHandle(fd_, [this] {
                ReadSome();
                if (Whole() && typed_) {
                    typed_();
                }
            });
        } catch (const std::system_error&) {
            // A regular file, or no descriptor at all: read when asked.
            direct_ = true;
        }
    }
    void Detach() override {
        watch_.reset();
        typed_ = nullptr;
    }
    std::optional<std::string> Take() override {
        while (direct_ && !Whole()) {
            ReadSome();
        }
        return Pop();
    }
    bool Ended() override {
        while (direct_ && !Whole()) {
            ReadSome();
        }
        return ended_ && buffer_.empty();
    }
    std::optional<std::string> WaitLine() override {
        while (!Whole()) {
            ReadSome();
        }
        return Pop();
    }

  private:
    // A line, or the end, is there.
    bool Whole() const { return ended_ || buffer_.find('\n') != std::string::npos; }

    // One read: on the loop, only once the descriptor is ready, so it never blocks.
    void ReadSome() {
        char chunk[4096];
        const ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            // The end stays ready: watched on, it would wake the loop at every turn.
            ended_ = true;
            watch_.reset();
        }
    }

    std::optional<std::string> Pop() {
        const std::size_t end = buffer_.find('\n');
        if (end == std::string::npos && !(ended_ && !buffer_.empty())) {
            return std::nullopt;
        }
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end == std::string::npos ? end : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }

    int fd_;
    std::string buffer_;
    bool ended_ = false;
    bool direct_ = false;
    std::function<void()> typed_;
    std::unique_ptr<EventLoop::Watch> watch_;
};

}  // namespace

std::unique_ptr<TypedInput> MakeStandardInput() {
    return MakeTypedInput(STDIN_FILENO);
}

std::unique_ptr<TypedInput> MakeTypedInput(int fd) {
    return std::make_unique<FdTypedInput>(fd);
}
