#include "player/session_bus_probe.h"

#include <systemd/sd-bus.h>

#include <cstdint>

bool SessionBusAnswers(std::chrono::milliseconds limit) {
    sd_bus* bus = nullptr;
    // Connects without waiting; the handshake is driven here, each wait bounded.
    if (sd_bus_open_user(&bus) < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool ready = false;
    for (;;) {
        const int processed = sd_bus_process(bus, nullptr);
        ready = sd_bus_is_ready(bus) > 0;
        const auto left = std::chrono::ceil<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (ready || processed < 0 || left.count() <= 0) {
            break;
        }
        if (processed == 0 && sd_bus_wait(bus, static_cast<std::uint64_t>(left.count())) < 0) {
            break;
        }
    }
    sd_bus_close_unref(bus);
    return ready;
}
