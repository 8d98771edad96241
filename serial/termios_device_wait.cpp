// The termios device's waits: pauses, and the wait for a port's path to appear.
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "serial/termios_device.h"

bool TermiosDevice::Pause(std::chrono::milliseconds duration) {
    return WaitUntil(std::chrono::steady_clock::now() + duration, false);
}

bool TermiosDevice::AwaitPath(const std::string& path, std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    namespace fs = std::filesystem;
    // The deepest folder that exists on the way, and the next name on the way in it.
    fs::path folder = fs::absolute(path).lexically_normal();
    std::string name = folder.filename().string();
    folder = folder.parent_path();
    std::error_code error;
    while (!fs::is_directory(folder, error) && folder.has_relative_path()) {
        name = folder.filename().string();
        folder = folder.parent_path();
    }
    if (inotifyFd_ < 0) {
        inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    if (inotifyFd_ < 0) {
        return Pause(duration);
    }
    awaitedName_ = name;
    if (folder.string() != watchedFolder_) {
        if (watch_ >= 0) {
            ::inotify_rm_watch(inotifyFd_, watch_);
        }
        // Created, renamed into place (as udev makes its links) or given new permissions.
        watch_ = ::inotify_add_watch(inotifyFd_, folder.c_str(),
                                     IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR);
        watchedFolder_ = watch_ >= 0 ? folder.string() : std::string();
        // A name that appeared while the watch was not yet there would never be announced.
        if (watch_ >= 0 && fs::exists(folder / name, error)) {
            return true;
        }
    }
    return WaitUntil(deadline, watch_ >= 0);
}

void TermiosDevice::StopWatching() {
    // Found: the folder's later events would only pile up, and end a later wait early.
    if (inotifyFd_ >= 0) {
        ::close(inotifyFd_);
        inotifyFd_ = watch_ = -1;
        watchedFolder_.clear();
    }
}

bool TermiosDevice::WaitUntil(std::chrono::steady_clock::time_point deadline, bool watch) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
        const int ready = ::poll(fds, watch ? 2 : 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            // A wait that cannot be made must still take its time, or whoever backs off
            // with it would spin; it stays cut short by a wake-up.
            SleepUntil(deadline);
            return !woken_;
        }
        if (ready == 0) {
            return true;
        }
        if (fds[0].revents != 0) {
            return false;
        }
        // Events about other names in the folder only cost a look.
        alignas(inotify_event) char events[4096];
        const ssize_t n = ::read(inotifyFd_, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->len > 0 && awaitedName_ == event->name) {
                return true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void TermiosDevice::SleepUntil(std::chrono::steady_clock::time_point deadline) const {
    constexpr auto Slice = std::chrono::milliseconds(50);
    while (!woken_ && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_until(std::min(deadline, std::chrono::steady_clock::now() + Slice));
    }
}

void TermiosDevice::Wake() {
    woken_ = true;
    const std::uint64_t one = 1;
    // Fails only if the counter would overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}
