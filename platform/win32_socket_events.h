#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "platform/event_loop.h"

// Windows only, for the Windows event loop: a socket's network events through one event
// object (WSAEventSelect), watched as a handle of the loop, with what the loop watches of
// the socket: its input and its room for output. Windows says each of those once
// (FD_READ again only after a recv, FD_WRITE only after a send found no room); this makes
// them stay ready while they are, as on Linux: input while there are bytes to read, room
// while a send would take some, and both for good once the connection is closed or failed.
// One ready thing runs per turn of the loop, input and output taking turns. Input its
// reader left where it was (waiting for the rest of a message, which Linux would wait for
// with SO_RCVLOWAT) is not spun: it is looked at again on a timer, from PollFirst slowing
// to PollLast, or at once when more comes.
class SocketEvents : public std::enable_shared_from_this<SocketEvents> {
  public:
    static constexpr std::chrono::milliseconds PollFirst{2};
    static constexpr std::chrono::milliseconds PollLast{128};

    // Takes socket's events over (and makes it non-blocking); std::system_error if it cannot.
    static std::shared_ptr<SocketEvents> Make(EventLoop& loop, EventLoop::Socket socket);
    ~SocketEvents();
    SocketEvents(const SocketEvents&) = delete;
    SocketEvents& operator=(const SocketEvents&) = delete;

    // What runs while the socket has input or room; empty: not watched. Once neither is,
    // the socket is given back, for good.
    void SetInput(std::function<void()> ready);
    void SetOutput(std::function<void()> ready);
    bool Watched() const { return watch_ != nullptr; }
    bool HasInput() const { return static_cast<bool>(input_); }
    bool HasOutput() const { return static_cast<bool>(output_); }

  private:
    SocketEvents(EventLoop::Socket socket, void* event);
    void Changed();
    void Release();
    void Dispatch();
    bool InputReady() const;
    void RunInput();
    bool OutputReady() const;
    // The loop comes round again while something is ready.
    void Rearm();

    EventLoop::Socket socket_;
    void* event_;
    std::unique_ptr<EventLoop::Watch> watch_;
    std::unique_ptr<EventLoop::Timer> poll_;
    std::chrono::milliseconds pollEvery_ = PollFirst;
    // The bytes input's last run left where they were, while no more have come.
    std::optional<std::size_t> left_;
    std::function<void()> input_;
    std::function<void()> output_;
    bool failed_ = false;       // closed, or its connection failed: ready for good
    bool inputNoted_ = false;   // input Windows told of that its watch has not yet seen
    bool outputNoted_ = false;  // room likewise
    bool outputLast_ = false;   // whose turn it was last, when both were ready
};
