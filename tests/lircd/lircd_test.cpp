#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "lircd/lircd_line_decoder.h"
#include "lircd/lircd_source.h"
#include "tests/doubles/fake_event_loop.h"
#include "tests/doubles/hostile_names.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/source_loop.h"
#include "tests/doubles/unix_socket.h"

namespace {

using Lines = std::vector<std::string>;
using Junk = LircdLineDecoder::Junk;

// What a decoder makes of a stream fed in the pieces given: a key's text (with "+" for a
// repeat and "@remote"), or "junk N" for junk of kind N.
std::vector<std::string> Decoded(const std::vector<std::string>& pieces) {
    LircdLineDecoder decoder;
    std::vector<LircdLineDecoder::Line> lines;
    for (const std::string& piece : pieces) {
        decoder.Feed(piece, lines);
    }
    std::vector<std::string> out;
    for (const auto& line : lines) {
        out.push_back(line.event ? (line.event->action == KeyAction::Repeat ? "+" : "") +
                                       line.event->key.Text() + "@" + line.event->remote
                                 : "junk " + std::to_string(static_cast<int>(line.junk)));
    }
    return out;
}

std::string JunkText(Junk junk) {
    return "junk " + std::to_string(static_cast<int>(junk));
}

TEST(LircdLineDecoder, TakesButtonLinesAndSkipsJunk) {
    const std::string longLine(300, 'x');
    std::vector<std::string> block{"BEGIN\n"};
    for (int i = 0; i < LircdLineDecoder::LongestReplyBlock + 1; ++i) {
        block.push_back("line\n");
    }
    block.push_back("0000000000000001 00 KEY_OK remote\n");
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> decoded;
    } cases[] = {
        {"press and repeat",
         {"0000000000000001 00 KEY_PLAYPAUSE remote\n0000000000000001 0a KEY_PLAYPAUSE remote\n"},
         {"KEY_PLAYPAUSE@remote", "+KEY_PLAYPAUSE@remote"}},
        {"in pieces, CR LF", {"00000000000", "00001 00 KEY_OK ", "tv\r", "\n"}, {"KEY_OK@tv"}},
        {"a reply block, then a key",
         {"BEGIN\nSIGHUP\nEND\n000001 00 KEY_OK tv\n"},
         {JunkText(Junk::ReplyBlock), "KEY_OK@tv"}},
        {"malformed",
         {"0001 00 KEY_OK\n", "zz 00 KEY_OK tv\n", "0001 00 KEY_OK tv extra\n", "\n"},
         {JunkText(Junk::Malformed), JunkText(Junk::Malformed), JunkText(Junk::Malformed),
          JunkText(Junk::Malformed)}},
        {"binary", {std::string("0001 00 KEY\x01OK tv\n", 19)}, {JunkText(Junk::Binary)}},
        {"too long, then a key",
         {longLine.substr(0, 200), longLine.substr(200) + "\n0001 00 KEY_OK tv\n"},
         {JunkText(Junk::TooLong), "KEY_OK@tv"}},
        {"a block that never ends is no block",
         block,
         {JunkText(Junk::ReplyBlock), "KEY_OK@remote"}},
        {"a button line ends a block that was never ended",
         {"BEGIN\nSIGHUP\n0000000000000001 00 KEY_OK tv\n0000000000000001 01 KEY_OK tv\n"},
         {JunkText(Junk::ReplyBlock), JunkText(Junk::UnendedBlock), "KEY_OK@tv", "+KEY_OK@tv"}},
        {"a line not yet ended is no line", {"0001 00 KEY_OK tv"}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Decoded(c.pieces), c.decoded) << c.name;
    }
}

// No name that breaks the rule for key names becomes a key, as a button or a remote.
TEST(LircdLineDecoder, NoHostileNameBecomesAKey) {
    for (const std::string& name : HostileNames()) {
        if (name.find('\n') != std::string::npos) {
            continue;  // ends lircd's line: the rest is a line of its own
        }
        for (const std::string& line :
             {"0001 00 " + name + " tv\n", "0001 00 KEY_OK " + name + "\n"}) {
            LircdLineDecoder decoder;
            std::vector<LircdLineDecoder::Line> lines;
            decoder.Feed(line, lines);
            for (const auto& decoded : lines) {
                EXPECT_FALSE(decoded.event) << name;
            }
        }
    }
    LircdLineDecoder decoder;
    std::vector<LircdLineDecoder::Line> lines;
    decoder.Feed("0001 00 " + std::string(65, 'K') + " tv\n", lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].junk, Junk::BadName);
}

// A stand-in for lircd's socket, on a thread of its own: it takes each client, sends it
// what the test gives, and drops it when told; or, as lircd at its limit of clients, drops
// every client at once.
class StandInSocket {
  public:
    // backlog: how many clients may wait to be taken.
    explicit StandInSocket(const std::string& path, bool dropsAll = false, int backlog = 8)
        : dropsAll_(dropsAll), listener_(ListenOn(path, SOCK_STREAM, backlog)) {
        if (dropsAll_) {
            thread_ = std::thread([this] {
                for (int client; (client = ::accept(listener_, nullptr, nullptr)) >= 0;) {
                    connects_.push_back(std::chrono::steady_clock::now());
                    ::close(client);
                    if (connects_.size() == Enough) {
                        return;
                    }
                }
            });
        }
    }
    ~StandInSocket() {
        ::shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(client_);
        ::close(listener_);
    }
    void Send(const std::string& bytes) {
        Accept();
        ASSERT_EQ(::write(client_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Takes the next client, when none is held.
    void Accept() {
        if (client_ < 0) {
            client_ = ::accept(listener_, nullptr, nullptr);
        }
    }
    void Drop() {
        ::close(client_);
        client_ = -1;
    }
    // When each client came, once Enough have (dropsAll).
    static constexpr std::size_t Enough = 5;
    std::vector<std::chrono::steady_clock::time_point> Connects() {
        thread_.join();
        return connects_;
    }

  private:
    bool dropsAll_;
    int listener_;
    int client_ = -1;
    std::thread thread_;
    std::vector<std::chrono::steady_clock::time_point> connects_;
};

// lircd on the receiver loop.
struct Rig {
    explicit Rig(const std::string& socket, std::unique_ptr<EventLoop> loop = MakeEventLoop())
        : reader(LoopOver(std::make_unique<LircdSource>(socket), std::move(loop))),
          configured(StartReader(*reader)) {}
    std::string Next() { return NextText(*reader); }
    std::unique_ptr<ReceiverLoop> reader;
    std::vector<std::string> configured;
};

// Junk never becomes a key or an item, and each kind is said once.
TEST(LircdSource, SkipsJunkFromTheSocketAndSaysItOnce) {
    ScratchFolder folder;
    StandInSocket socket(folder.FilePath("lircd"));
    LogCapture log;
    Rig rig(folder.FilePath("lircd"));
    EXPECT_TRUE(rig.configured.empty());
    socket.Send(std::string("\x7f\x45LF\x02\x01\n", 7) + std::string(5000, 'A') + "\nnonsense\n" +
                "nonsense again\n" + std::string("\xff\xfe\n", 3) +
                "0000000000000001 00 KEY_PLAYPAUSE remote\n");
    EXPECT_EQ(rig.Next(), "down KEY_PLAYPAUSE@remote");
    EXPECT_EQ(log.Count("not CODE REPEAT BUTTON REMOTE"), 1);
    EXPECT_EQ(log.Count("bytes that are not text"), 1);
    EXPECT_EQ(log.Count("over 256 bytes"), 1);
}

// A connection lircd drops before saying anything (at its limit of clients) is a failed
// connect: tried again at the back-off's pace, said once, and no outage in the history.
TEST(LircdSource, AConnectionDroppedAtOnceIsPacedAsAFailedConnect) {
    ScratchFolder folder;
    LogCapture log;
    StandInSocket socket(folder.FilePath("lircd"), true);
    Rig rig(folder.FilePath("lircd"));
    Lines items;
    std::thread reading([&] {
        for (std::string item = rig.Next(); item != "stopped"; item = rig.Next()) {
            items.push_back(item);
        }
    });
    const auto connects = socket.Connects();
    rig.reader->RequestStop();
    reading.join();
    // The connection it started with was lircd's; the drops after it are failed connects.
    EXPECT_EQ(items, Lines{"lost"});
    ASSERT_EQ(connects.size(), StandInSocket::Enough);
    // Timers never run early: each wait is at least the back-off's.
    for (std::size_t i = 1; i < connects.size(); ++i) {
        EXPECT_GE(connects[i] - connects[i - 1], ReadBackoff::FirstWait * (1 << (i - 1)))
            << "between connects " << i - 1 << " and " << i;
    }
    EXPECT_EQ(log.Count("before saying anything"), 1);
}

// A connection that lived is a return even when no key came: lircd lost again is shown again.
TEST(LircdSource, AQuietReturnIsAReturn) {
    ScratchFolder folder;
    StandInSocket socket(folder.FilePath("lircd"));
    Rig rig(folder.FilePath("lircd"));
    socket.Accept();
    socket.Drop();
    EXPECT_EQ(rig.Next(), "lost");
    std::thread accepting([&socket] { socket.Accept(); });
    EXPECT_EQ(rig.Next(), "back");
    accepting.join();
    socket.Drop();
    EXPECT_EQ(rig.Next(), "lost");
}

// Without lircd, it is said at once why, and it is looked for at a slowing pace up to the
// slow one, whether or not its folder can be watched.
TEST(LircdSource, AMissingLircdIsLookedForAtASlowingPace) {
    ScratchFolder folder;
    std::vector<std::string> sockets{folder.FilePath("run/lirc/lircd")};
    if (::geteuid() != 0) {  // root reads any folder
        std::filesystem::create_directory(folder.FilePath("closed"));
        std::filesystem::permissions(folder.FilePath("closed"), std::filesystem::perms::owner_exec);
        sockets.push_back(folder.FilePath("closed/lircd"));
    }
    for (const std::string& socket : sockets) {
        auto owned = std::make_unique<FakeEventLoop>();
        FakeEventLoop& loop = *owned;
        LogCapture log;
        const Rig rig(socket, std::move(owned));
        ASSERT_EQ(rig.configured.size(), 1u);
        EXPECT_EQ(log.Count(rig.configured[0]), 1);
        if (socket == sockets.front()) {
            EXPECT_EQ(rig.configured[0].rfind("no lircd socket at " + socket, 0), 0u);
        }
        EXPECT_EQ(loop.Waits(8), (std::vector<long>{100, 200, 400, 800, 1600, 3200, 5000, 5000}))
            << socket;
    }
}

// lircd back within the second: a socket made at the end of a link, in another folder, is
// tried at once rather than at the back-off's pace; a lircd whose queue of new clients is
// full is tried at least every second.
TEST(LircdSource, ComesBackWithinTheSecond) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.FilePath("run"));
    std::filesystem::create_directory(folder.FilePath("elsewhere"));
    const std::string link = folder.FilePath("run/lircd");
    std::filesystem::create_symlink(folder.FilePath("elsewhere/lircd"), link);
    {
        auto owned = std::make_unique<FakeEventLoop>();
        FakeEventLoop& loop = *owned;
        Rig rig(link, std::move(owned));
        StandInSocket socket(folder.FilePath("elsewhere/lircd"));
        loop.RunOnce(EventLoop::TimePoint::max());  // the link's target made: news
        loop.RunOnce(EventLoop::TimePoint::max());
        EXPECT_EQ(loop.waits, std::vector<long>{0}) << "tried at once";
    }
    {
        // One client waiting to be taken fills a queue of none.
        StandInSocket busy(folder.FilePath("busy"), false, 0);
        bool connected = false;
        const int waiting = ConnectTo(folder.FilePath("busy"), connected, SOCK_NONBLOCK);
        auto owned = std::make_unique<FakeEventLoop>();
        FakeEventLoop& loop = *owned;
        Rig rig(folder.FilePath("busy"), std::move(owned));
        EXPECT_EQ(loop.Waits(6), (std::vector<long>{100, 200, 400, 800, 1000, 1000}));
        ::close(waiting);
    }
}

TEST(LircdSource, RefusesASocketPathTooLong) {
    EXPECT_EQ(LircdSource::WhyNotASocket("/run/lirc/lircd"), "");
    EXPECT_NE(LircdSource::WhyNotASocket("/tmp/" + std::string(200, 'x')).find("longer than"),
              std::string::npos);
}

}  // namespace
