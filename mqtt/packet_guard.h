#pragma once

#include <cstddef>
#include <optional>
#include <string>

// What libmosquitto may read of an unencrypted connection, so that no packet over the
// largest is ever held whole and none holds the loop up: at each packet's start its fixed
// header is looked at in the socket (MSG_PEEK) before libmosquitto reads any of it. A packet
// over the largest is read here and thrown away, at most Piece bytes a turn; one within it
// is left to libmosquitto only once it is whole in the socket (till then the socket wakes
// the loop only when enough has come, SO_RCVLOWAT; on Windows, which has no such mark, the
// loop looks again on a timer), so libmosquitto reads it in one call
// and is at the next packet's start again. That holds as libmosquitto reads one packet a
// call while nothing of QoS 1 or 2 is in flight, which the source never has. Used on the
// loop's thread.
class PacketGuard {
  public:
    // What one turn of the loop reads at most of a packet thrown away.
    static constexpr std::size_t Piece = 16384;

    enum class Step {
        Read,      // libmosquitto may read: a whole packet within the largest, or the end
        Wait,      // nothing to do until more has come
        Dropping,  // a piece of a packet over the largest was thrown away
    };
    // A packet over the largest, as its start tells: a PUBLISH's topic (empty for another
    // packet, or a topic not yet come) and the whole packet's size.
    struct Oversized {
        std::string topic;
        std::size_t size = 0;
    };

    explicit PacketGuard(std::size_t largest) : largest_(largest) {}

    // The socket fd is readable: what to do. oversized is set at the start of a packet that
    // is thrown away.
    Step Next(int fd, std::optional<Oversized>& oversized);
    // A new connection starts at a packet's start.
    void Reset() { left_ = 0; }

  private:
    Step Drop(int fd);

    std::size_t largest_;
    std::size_t left_ = 0;  // bytes of a packet thrown away still to come
};
