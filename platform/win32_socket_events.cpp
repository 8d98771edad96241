#include "platform/win32_socket_events.h"

#include <winsock2.h>

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

constexpr long Events = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

SOCKET AsSocket(EventLoop::Socket socket) {
    return static_cast<SOCKET>(socket);
}

// How many bytes wait to be read.
std::size_t Bytes(SOCKET socket) {
    u_long count = 0;
    return ioctlsocket(socket, FIONREAD, &count) == 0 ? count : 0;
}

// A send would take some now (or would fail at once).
bool HasRoom(SOCKET socket) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket, &writable);
    fd_set failed = writable;
    timeval now{};
    return select(0, nullptr, &writable, &failed, &now) != 0;
}

}  // namespace

std::shared_ptr<SocketEvents> SocketEvents::Make(EventLoop& loop, EventLoop::Socket socket) {
    const WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT) {
        throw std::system_error(WSAGetLastError(), std::system_category(), "WSACreateEvent");
    }
    // Not made with make_shared: the constructor is private.
    std::shared_ptr<SocketEvents> events(new SocketEvents(socket, event));
    if (WSAEventSelect(AsSocket(socket), event, Events) != 0) {
        throw std::system_error(WSAGetLastError(), std::system_category(), "WSAEventSelect");
    }
    std::weak_ptr<SocketEvents> weak = events;
    events->watch_ = loop.WatchHandle(event, [weak] {
        if (const auto self = weak.lock()) {
            self->Dispatch();
        }
    });
    events->poll_ = loop.MakeTimer([weak] {
        if (const auto self = weak.lock()) {
            self->left_.reset();
            self->Rearm();
        }
    });
    return events;
}

SocketEvents::SocketEvents(EventLoop::Socket socket, void* event)
    : socket_(socket), event_(event) {}

SocketEvents::~SocketEvents() {
    Release();
    WSACloseEvent(event_);
}

void SocketEvents::SetInput(std::function<void()> ready) {
    input_ = std::move(ready);
    Changed();
}

void SocketEvents::SetOutput(std::function<void()> ready) {
    output_ = std::move(ready);
    Changed();
}

void SocketEvents::Changed() {
    if (input_ || output_) {
        Rearm();
    } else {
        Release();
    }
}

void SocketEvents::Release() {
    if (watch_) {
        watch_.reset();
        poll_.reset();
        // At once, while the socket is still the one watched: a socket made after this one
        // closes may have its number. Fails harmlessly when it is already closed.
        WSAEventSelect(AsSocket(socket_), nullptr, 0);
    }
}

bool SocketEvents::InputReady() const {
    if (!input_ || failed_) {
        return static_cast<bool>(input_);
    }
    const std::size_t bytes = Bytes(AsSocket(socket_));
    return (!left_ || bytes != *left_) && (bytes > 0 || inputNoted_);
}

void SocketEvents::RunInput() {
    const std::size_t before = Bytes(AsSocket(socket_));
    const std::function<void()> ready = input_;  // a copy: it may end its own watch
    ready();
    if (!watch_) {
        return;
    }
    const std::size_t after = Bytes(AsSocket(socket_));
    if (after > 0 && after >= before && !failed_) {
        left_ = after;
        poll_->Set(EventLoop::Clock::now() + pollEvery_);
        pollEvery_ = std::min(pollEvery_ * 2, PollLast);
    } else {
        left_.reset();
        poll_->Cancel();
        pollEvery_ = PollFirst;
    }
}

bool SocketEvents::OutputReady() const {
    return output_ && (failed_ || outputNoted_ || HasRoom(AsSocket(socket_)));
}

void SocketEvents::Rearm() {
    if (InputReady() || OutputReady()) {
        WSASetEvent(event_);
    }
}

void SocketEvents::Dispatch() {
    // What runs may end the watches, and with them this.
    const std::shared_ptr<SocketEvents> self = shared_from_this();
    WSANETWORKEVENTS events{};
    // Takes what Windows noted, and resets the event.
    if (WSAEnumNetworkEvents(AsSocket(socket_), event_, &events) != 0) {
        WSAResetEvent(event_);
        failed_ = true;  // no socket any more: what runs finds out why
    }
    const long noted = events.lNetworkEvents;
    if ((noted & FD_CLOSE) != 0 ||
        ((noted & FD_CONNECT) != 0 && events.iErrorCode[FD_CONNECT_BIT] != 0)) {
        failed_ = true;
    }
    inputNoted_ = inputNoted_ || (noted & (FD_READ | FD_OOB | FD_ACCEPT)) != 0;
    outputNoted_ = outputNoted_ || (noted & (FD_WRITE | FD_CONNECT)) != 0;

    const bool input = InputReady();
    const bool output = OutputReady();
    if (input && (!output || outputLast_)) {
        outputLast_ = false;
        inputNoted_ = false;
        RunInput();
    } else if (output) {
        outputLast_ = true;
        outputNoted_ = false;
        const std::function<void()> ready = output_;  // a copy: it may end its own watch
        ready();
    }
    if (watch_) {
        Rearm();
    }
}
