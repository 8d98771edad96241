// The kernel's input devices through libevdev.
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <cerrno>

#include "input/input_device.h"

namespace {

class LibevdevInputDevice : public InputDevice {
  public:
    LibevdevInputDevice(int fd, libevdev* device) : fd_(fd), device_(device) {}
    ~LibevdevInputDevice() override {
        libevdev_free(device_);
        ::close(fd_);
    }
    LibevdevInputDevice(const LibevdevInputDevice&) = delete;
    LibevdevInputDevice& operator=(const LibevdevInputDevice&) = delete;

    int Fd() const override { return fd_; }

    Status Next(RawInputEvent& event, int& error) override {
        input_event raw{};
        // After SYN_DROPPED, libevdev hands over the changes that bring its state in line,
        // one by one, until it has none left (-EAGAIN); then reading goes on as usual.
        int status = libevdev_next_event(
            device_, syncing_ ? LIBEVDEV_READ_FLAG_SYNC : LIBEVDEV_READ_FLAG_NORMAL, &raw);
        if (syncing_ && status == -EAGAIN) {
            syncing_ = false;
            status = libevdev_next_event(device_, LIBEVDEV_READ_FLAG_NORMAL, &raw);
        }
        if (status == LIBEVDEV_READ_STATUS_SYNC) {
            syncing_ = true;  // raw is the SYN_DROPPED, or one of the changes
        } else if (status == -EAGAIN) {
            return Status::Again;
        }
        if (status < 0) {
            error = -status;
            return Status::Failed;
        }
        event = {raw.type, raw.code, raw.value};
        return Status::Event;
    }

    bool Pending() override { return libevdev_has_event_pending(device_) > 0; }

    std::set<unsigned> KeysDown() const override {
        std::set<unsigned> down;
        for (unsigned code = 0; code <= KEY_MAX; ++code) {
            if (libevdev_has_event_code(device_, EV_KEY, code) &&
                libevdev_get_event_value(device_, EV_KEY, code) != 0) {
                down.insert(code);
            }
        }
        return down;
    }

    int Grab() override { return -libevdev_grab(device_, LIBEVDEV_GRAB); }

  private:
    int fd_;
    libevdev* device_;
    bool syncing_ = false;
};

}  // namespace

std::string KernelKeyName(unsigned code) {
    const char* name = libevdev_event_code_get_name(EV_KEY, code);
    return name != nullptr ? name : "";
}

std::unique_ptr<InputDevice> OpenInputDevice(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    libevdev* device = nullptr;
    if (const int status = libevdev_new_from_fd(fd, &device); status < 0) {
        error = -status;
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<LibevdevInputDevice>(fd, device);
}
