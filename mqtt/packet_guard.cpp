#include "mqtt/packet_guard.h"

#include <algorithm>

#include "mqtt/network_calls.h"

namespace {

// MQTT's fixed header: a type byte, then the remaining length in 1 to 4 bytes of 7 bits.
constexpr std::size_t LongestHeader = 5;
constexpr unsigned PublishType = 3;

// A PUBLISH's topic, from what of it has come (at most 256 bytes of it are looked at).
std::string TopicOf(int fd, std::size_t header) {
    unsigned char start[LongestHeader + 2 + 256];
    const long got = PeekBytes(fd, start, sizeof start);
    if (got < static_cast<long>(header + 2)) {
        return {};
    }
    const std::size_t length = (std::size_t{start[header]} << 8) | start[header + 1];
    const std::size_t shown = std::min(length, static_cast<std::size_t>(got) - header - 2);
    return std::string(reinterpret_cast<const char*>(start + header + 2), shown);
}

}  // namespace

PacketGuard::Step PacketGuard::Drop(int fd) {
    char scratch[Piece];
    const long got = TakeBytes(fd, scratch, std::min(left_, sizeof scratch));
    if (got > 0) {
        left_ -= static_cast<std::size_t>(got);
        return Step::Dropping;
    }
    // The end, or a failure: libmosquitto's read finds it and says it.
    return got < 0 && NothingYet() ? Step::Wait : Step::Read;
}

PacketGuard::Step PacketGuard::Next(int fd, std::optional<Oversized>& oversized) {
    if (left_ > 0) {
        return Drop(fd);
    }
    unsigned char header[LongestHeader];
    const long got = PeekBytes(fd, header, sizeof header);
    if (got <= 0) {
        return Step::Read;  // the end or a failure, for libmosquitto to find
    }
    std::size_t remaining = 0;
    std::size_t length = 1;
    for (std::size_t shift = 0;; shift += 7, ++length) {
        if (length >= static_cast<std::size_t>(got)) {
            if (length < LongestHeader) {
                WakeAt(fd, length + 1);  // the length is still coming
                return Step::Wait;
            }
            return Step::Read;  // no length in four bytes: libmosquitto says it is malformed
        }
        remaining |= std::size_t{header[length] & 0x7fu} << shift;
        if ((header[length] & 0x80) == 0) {
            ++length;
            break;
        }
    }
    const std::size_t size = length + remaining;
    if (size > largest_) {
        WakeAt(fd, 1);
        oversized = Oversized{(header[0] >> 4) == PublishType ? TopicOf(fd, length) : "", size};
        left_ = size;
        return Drop(fd);
    }
    if (BytesWaiting(fd) < size) {
        WakeAt(fd, size);
        return Step::Wait;
    }
    WakeAt(fd, 1);
    return Step::Read;
}
