#include <windows.h>

#include <system_error>

#include "platform/doorbell.h"

namespace {

class Win32Doorbell : public Doorbell {
  public:
    // Manual-reset, as the loop takes handles.
    Win32Doorbell() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (event_ == nullptr) {
            throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                    "CreateEventW");
        }
    }
    ~Win32Doorbell() override { ::CloseHandle(event_); }
    Win32Doorbell(const Win32Doorbell&) = delete;
    Win32Doorbell& operator=(const Win32Doorbell&) = delete;

    void Ring() override { ::SetEvent(event_); }

    std::unique_ptr<EventLoop::Watch> Hear(EventLoop& loop, std::function<void()> heard) override {
        return loop.WatchHandle(event_, [event = event_, heard = std::move(heard)] {
            ::ResetEvent(event);
            heard();
        });
    }

  private:
    HANDLE event_;
};

}  // namespace

std::shared_ptr<Doorbell> MakeDoorbell() {
    return std::make_shared<Win32Doorbell>();
}
