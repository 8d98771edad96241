#include "tests/player/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

std::int64_t MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

std::vector<std::string> Environment(
    const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (changes.count(entry.substr(0, entry.find('='))) == 0) {
            entries.push_back(entry);
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            entries.push_back(name + "=" + *value);
        }
    }
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        Stop(SIGKILL);
    }
    Close();
}

void ChildProcess::Close() {
    // The child has ended, so its output will end and the reader with it.
    if (reader_.joinable()) {
        reader_.join();
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
    partial_.clear();
    lines_.clear();
    ended_ = false;
}

bool ChildProcess::Start(const Options& options) {
    if (pid_ > 0) {
        error_ = "already running";
        return false;
    }
    Close();
    // Everything the child needs is made before fork: after it only async-signal-safe
    // calls are allowed in a process with threads.
    std::vector<std::string> args = options.argv;
    std::vector<std::string> env = Environment(options.environment);
    std::vector<char*> argp = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    int out[2] = {-1, -1};
    int report[2] = {-1, -1};  // the exec error, if any; closed by a successful exec
    if ((options.captureOutput && ::pipe2(out, O_CLOEXEC) != 0) ||
        ::pipe2(report, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(options.captureOutput ? out[1] : devNull, STDOUT_FILENO);
        if (!options.errorPath.empty()) {
            const int err =
                ::open(options.errorPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            ::dup2(err, STDERR_FILENO);
        }
        ::execvpe(argp[0], argp.data(), envp.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    if (options.captureOutput) {
        ::close(out[1]);
    }
    if (pid < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        ::close(report[0]);
        if (options.captureOutput) {
            ::close(out[0]);
        }
        return false;
    }
    pid_ = pid;
    int execError = 0;
    const ssize_t got = ::read(report[0], &execError, sizeof execError);
    ::close(report[0]);
    if (got == sizeof execError) {
        error_ = "cannot run " + options.argv[0] + ": " + std::strerror(execError);
        Wait();
        if (options.captureOutput) {
            ::close(out[0]);
        }
        return false;
    }
    if (options.captureOutput) {
        output_ = out[0];
        ::fcntl(output_, F_SETFL, ::fcntl(output_, F_GETFL) | O_NONBLOCK);
        reader_ = std::thread([this] { ReadLoop(); });
    }
    return true;
}

void ChildProcess::Signal(int signal) const {
    if (pid_ > 0) {
        ::kill(pid_, signal);
    }
}

int ChildProcess::Stop(int signal) {
    Signal(signal);
    return Wait();
}

int ChildProcess::Stop(int signal, std::chrono::milliseconds grace) {
    Signal(signal);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
        if (ended == pid_ || (ended < 0 && errno != EINTR)) {
            pid_ = -1;
            status_ = status;
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Signal(SIGKILL);
    return Wait();
}

int ChildProcess::Wait() {
    if (pid_ <= 0) {
        return status_;
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    status_ = status;
    return status_;
}

void ChildProcess::ReadLoop() {
    for (;;) {
        pollfd ready{output_, POLLIN, 0};
        if (::poll(&ready, 1, -1) < 0 && errno != EINTR) {
            break;
        }
        std::lock_guard lock(mutex_);
        const bool more = ReadAvailable();
        arrived_.notify_all();
        if (!more) {
            break;
        }
    }
}

bool ChildProcess::ReadAvailable() {
    if (ended_) {
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            return true;
        }
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        const std::int64_t at = MonotonicNs();
        partial_.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end = partial_.find('\n'); end != std::string::npos;
             end = partial_.find('\n', start)) {
            lines_.push_back(ChildLine{partial_.substr(start, end - start), at});
            start = end + 1;
        }
        partial_.erase(0, start);
    }
}

std::vector<ChildLine> ChildProcess::Lines(std::size_t from) {
    std::lock_guard lock(mutex_);
    if (output_ >= 0) {
        ReadAvailable();
    }
    if (from >= lines_.size()) {
        return {};
    }
    return std::vector<ChildLine>(lines_.begin() + static_cast<long>(from), lines_.end());
}

std::size_t ChildProcess::WaitForLines(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (output_ >= 0) {
        ReadAvailable();
    }
    arrived_.wait_for(lock, timeout, [&] { return lines_.size() >= count || ended_; });
    return lines_.size();
}
