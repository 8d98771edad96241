#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/doorbell.h"

namespace {

class EventfdDoorbell : public Doorbell {
  public:
    EventfdDoorbell() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), "eventfd");
        }
    }
    ~EventfdDoorbell() override { ::close(fd_); }
    EventfdDoorbell(const EventfdDoorbell&) = delete;
    EventfdDoorbell& operator=(const EventfdDoorbell&) = delete;

    void Ring() override {
        const std::uint64_t one = 1;
        // Fails only if the counter would overflow, and then it is readable anyway.
        [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
    }

    std::unique_ptr<EventLoop::Watch> Hear(EventLoop& loop, std::function<void()> heard) override {
        return loop.WatchHandle(fd_, [fd = fd_, heard = std::move(heard)] {
            std::uint64_t rings = 0;
            [[maybe_unused]] const ssize_t read = ::read(fd, &rings, sizeof rings);
            heard();
        });
    }

  private:
    int fd_;
};

}  // namespace

std::shared_ptr<Doorbell> MakeDoorbell() {
    return std::make_shared<EventfdDoorbell>();
}
