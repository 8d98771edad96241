#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/child_command.h"

namespace {

class ForkExecChild : public ChildCommand {
  public:
    // A pidfd tells of the end without reaping; without one (a kernel before 5.3) only
    // Running does.
    explicit ForkExecChild(pid_t pid)
        : pid_(pid), ended_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
    ~ForkExecChild() override {
        if (ended_ >= 0) {
            ::close(ended_);
        }
    }
    ForkExecChild(const ForkExecChild&) = delete;
    ForkExecChild& operator=(const ForkExecChild&) = delete;

    EventLoop::Handle EndHandle() const override { return ended_; }

    bool Running(std::string& ended) override {
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = ::waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (reaped == 0) {
            return true;
        }
        ended.clear();
        if (reaped < 0) {
            return false;  // reaped by someone else: nothing is known of how it ended
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
            const int code = WEXITSTATUS(status);
            ended = "ended with status " + std::to_string(code) +
                    (code == 127   ? " (not found)"
                     : code == 126 ? " (not executable)"
                                   : "");
        } else if (WIFSIGNALED(status)) {
            ended = "was ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                    ::strsignal(WTERMSIG(status)) + ")";
        }
        return false;
    }

  private:
    pid_t pid_;
    int ended_;  // the pidfd, or -1
};

}  // namespace

std::string ChildCommandProblem(const std::string&) {
    return {};
}

std::unique_ptr<ChildCommand> StartChildCommand(const std::string& command, std::string& error) {
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    // Only async-signal-safe calls between fork and exec, as the program has other threads.
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        ::setsid();  // its own session: no share of our terminal, nor our signals
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &standard, nullptr);
        const int nothing = ::open("/dev/null", O_RDWR);
        if (nothing >= 0) {
            ::dup2(nothing, STDIN_FILENO);
            ::dup2(nothing, STDOUT_FILENO);
            ::dup2(nothing, STDERR_FILENO);
            if (nothing > STDERR_FILENO) {
                ::close(nothing);
            }
        }
        ::execv(argv[0], const_cast<char* const*>(argv));
        const int failure = errno;
        [[maybe_unused]] const ssize_t said = ::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        error = std::string("cannot fork: ") + std::strerror(forkError);
        return nullptr;
    }
    // The pipe closes at a successful exec; an errno comes through it when exec failed.
    int failure = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        error = std::string("cannot execute /bin/sh: ") + std::strerror(failure);
        if (failure == E2BIG) {
            error += " (the command is " + std::to_string(command.size()) +
                     " bytes; one argument may be at most " +
                     std::to_string(32 * ::sysconf(_SC_PAGESIZE)) + ")";
        }
        return nullptr;
    }
    return std::make_unique<ForkExecChild>(child);
}
