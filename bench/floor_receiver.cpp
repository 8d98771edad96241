// The least program that does quorvel's job, the floor the real one is measured against:
// it reads the receiver's two-byte events from the port with one epoll and makes the same
// MPRIS call, with plain sd-bus, to the named player, without waiting for its answer.
// Nothing else: no history, no key map, no holds. Takes quorvel's options, so the process
// rig can start it in quorvel's place (QUORVEL_BENCH_PROGRAM):
//
//   floor_receiver --console --port PTY --player NAME
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <systemd/sd-bus.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "serial/event_protocol.h"

namespace {

// The keys the latency bench presses.
const char* Member(int code) {
    switch (code) {
        case 0x60:
            return "PlayPause";
        case 0x18:
            return "Next";
        case 0x98:
            return "Previous";
        default:
            return nullptr;
    }
}

int Fail(const char* what, int error) {
    std::fprintf(stderr, "floor_receiver: %s: %s\n", what, std::strerror(error));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string port;
    std::string player;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0) {
            port = argv[++i];
        } else if (std::strcmp(argv[i], "--player") == 0) {
            player = argv[++i];
        }
    }
    if (port.empty() || player.empty()) {
        std::fputs("usage: floor_receiver --console --port PTY --player NAME\n", stderr);
        return 2;
    }
    const std::string busName = "org.mpris.MediaPlayer2." + player;
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return Fail("open", errno);
    }
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_user(&bus); r < 0) {
        return Fail("sd_bus_open_user", -r);
    }
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event portEvent{EPOLLIN, {.fd = fd}};
    epoll_event busEvent{EPOLLIN, {.fd = sd_bus_get_fd(bus)}};
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &portEvent);
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, busEvent.data.fd, &busEvent);
    bool prefixed = false;
    for (;;) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        // What the bus waits for now: output still to write, input.
        busEvent.events = (sd_bus_get_events(bus) & POLLOUT) != 0 ? EPOLLIN | EPOLLOUT : EPOLLIN;
        ::epoll_ctl(epoll, EPOLL_CTL_MOD, busEvent.data.fd, &busEvent);
        epoll_event ready[2];
        const int count = ::epoll_wait(epoll, ready, 2, -1);
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.fd != fd) {
                continue;
            }
            unsigned char bytes[256];
            const ssize_t got = ::read(fd, bytes, sizeof bytes);
            for (ssize_t b = 0; b < got; ++b) {
                const char* member = prefixed ? Member(bytes[b]) : nullptr;
                prefixed = !prefixed && bytes[b] == KeyPrefix;
                if (member != nullptr) {
                    sd_bus_call_method_async(
                        bus, nullptr, busName.c_str(), "/org/mpris/MediaPlayer2",
                        "org.mpris.MediaPlayer2.Player", member, nullptr, nullptr, "");
                }
            }
        }
    }
}
