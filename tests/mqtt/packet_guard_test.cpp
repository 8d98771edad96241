#include "mqtt/packet_guard.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/mqtt/stand_in_broker.h"

namespace {

struct Pair {
    Pair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds); }
    ~Pair() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    void Send(const std::string& bytes) const {
        ASSERT_EQ(::send(fds[1], bytes.data(), bytes.size(), 0),
                  static_cast<ssize_t>(bytes.size()));
    }
    int fds[2];
};

// A packet over the largest is read and thrown away a piece a turn, said once with its topic,
// and what follows it is left whole to libmosquitto; a packet not yet whole waits.
TEST(PacketGuard, ThrowsAwayWhatIsTooLargeAPieceATurnAndLetsTheRestThrough) {
    Pair pair;
    PacketGuard guard(8192);
    std::optional<PacketGuard::Oversized> oversized;
    const std::size_t huge = 10 * PacketGuard::Piece;
    pair.Send(PublishStart("tele/ir/RESULT", huge) + std::string(3 * PacketGuard::Piece, 'x'));
    EXPECT_EQ(guard.Next(pair.fds[0], oversized), PacketGuard::Step::Dropping);
    ASSERT_TRUE(oversized);
    EXPECT_EQ(oversized->topic, "tele/ir/RESULT");
    EXPECT_EQ(oversized->size, huge + 2 + 2 + 14 + 2);
    int turns = 1;
    for (std::size_t sent = 3 * PacketGuard::Piece; sent < huge; sent += PacketGuard::Piece) {
        oversized.reset();
        while (guard.Next(pair.fds[0], oversized) == PacketGuard::Step::Dropping) {
            ++turns;
        }
        EXPECT_FALSE(oversized);
        pair.Send(std::string(std::min(PacketGuard::Piece, huge - sent), 'x'));
    }
    const std::string small = PublishStart("tele/ir/RESULT", 10) + "0123456789";
    pair.Send(small.substr(0, 5));
    while (guard.Next(pair.fds[0], oversized) == PacketGuard::Step::Dropping) {
        ++turns;
    }
    EXPECT_GE(turns, 10);  // never more than a piece a turn
    EXPECT_EQ(guard.Next(pair.fds[0], oversized), PacketGuard::Step::Wait);  // not whole yet
    pair.Send(small.substr(5));
    EXPECT_EQ(guard.Next(pair.fds[0], oversized), PacketGuard::Step::Read);
    char whole[64];
    EXPECT_EQ(::recv(pair.fds[0], whole, sizeof whole, 0), static_cast<ssize_t>(small.size()));
}

}  // namespace
