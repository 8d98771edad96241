#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lircd/lircd_line_decoder.h"
#include "lircd/lircd_source.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/lircd/lircd_rig.h"

namespace {

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
        {"a line not yet ended is no line", {"0001 00 KEY_OK tv"}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Decoded(c.pieces), c.decoded) << c.name;
    }
}

// A stand-in for lircd's socket: one client, sent what the test writes.
class StandInSocket {
  public:
    explicit StandInSocket(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
    }
    ~StandInSocket() {
        ::close(client_);
        ::close(listener_);
    }
    void Send(const std::string& bytes) {
        if (client_ < 0) {
            client_ = ::accept(listener_, nullptr, nullptr);
        }
        ASSERT_EQ(::write(client_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

  private:
    int listener_ = -1;
    int client_ = -1;
};

// The next key event, past any Back (a stopping lircd may take a client it then drops).
KeyEvent NextEvent(LircdSource& source) {
    SourceItem item = source.Next();
    while (std::holds_alternative<SourceCondition>(item) &&
           std::get<SourceCondition>(item).kind == SourceCondition::Kind::Back) {
        item = source.Next();
    }
    const auto* event = std::get_if<KeyEvent>(&item);
    return event != nullptr ? *event : KeyEvent{KeyAction::Release, Key::Name("not an event")};
}

// Junk never becomes a key or an item, and each kind is said once.
TEST(LircdSource, SkipsJunkFromTheSocketAndSaysItOnce) {
    ScratchFolder folder;
    StandInSocket socket(folder.FilePath("lircd"));
    LogCapture log;
    LircdSource source(folder.FilePath("lircd"));
    source.Open();
    EXPECT_TRUE(source.Configure().empty());
    socket.Send(std::string("\x7f\x45LF\x02\x01\n", 7) + std::string(5000, 'A') + "\nnonsense\n" +
                "nonsense again\n" + std::string("\xff\xfe\n", 3) +
                "0000000000000001 00 KEY_PLAYPAUSE remote\n");
    const KeyEvent event = NextEvent(source);
    EXPECT_EQ(event.key, Key::Name("KEY_PLAYPAUSE"));
    EXPECT_EQ(event.remote, "remote");
    EXPECT_EQ(log.Count("not CODE REPEAT BUTTON REMOTE"), 1);
    EXPECT_EQ(log.Count("bytes that are not text"), 1);
    EXPECT_EQ(log.Count("over 256 bytes"), 1);
}

// A real lircd: presses and repeats, its stop said once, and its return seen at once.
TEST(LircdSource, ReadsARealLircdAndFollowsItsRestart) {
    if (!LircdRig::Available()) {
        GTEST_SKIP() << "lircd and irsend are not installed (Debian's lirc package)";
    }
    LircdRig lircd;
    LircdSource source(lircd.Socket());
    source.Open();
    const std::vector<SourceCondition> absent = source.Configure();
    ASSERT_EQ(absent.size(), 1u);
    EXPECT_EQ(absent[0].kind, SourceCondition::Kind::Absent);

    ASSERT_TRUE(lircd.Start()) << lircd.Error();
    SourceItem back = source.Next();
    ASSERT_TRUE(std::holds_alternative<SourceCondition>(back));
    EXPECT_EQ(std::get<SourceCondition>(back).kind, SourceCondition::Kind::Back);
    ASSERT_TRUE(lircd.Send("KEY_VOLUMEUP"));
    ASSERT_TRUE(lircd.Send("KEY_VOLUMEUP", 1));
    EXPECT_EQ(NextEvent(source).action, KeyAction::Press);
    const KeyEvent repeat = NextEvent(source);
    EXPECT_EQ(repeat.action, KeyAction::Repeat);
    EXPECT_EQ(repeat.key, Key::Name("KEY_VOLUMEUP"));

    lircd.Stop();
    SourceItem lost = source.Next();
    ASSERT_TRUE(std::holds_alternative<SourceCondition>(lost));
    EXPECT_EQ(std::get<SourceCondition>(lost).kind, SourceCondition::Kind::Lost);
    ASSERT_TRUE(lircd.Start()) << lircd.Error();
    back = source.Next();
    ASSERT_TRUE(std::holds_alternative<SourceCondition>(back));
    EXPECT_EQ(std::get<SourceCondition>(back).kind, SourceCondition::Kind::Back);
    ASSERT_TRUE(lircd.Send("KEY_RED"));
    EXPECT_EQ(NextEvent(source).key, Key::Name("KEY_RED"));
}

}  // namespace
