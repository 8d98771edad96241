// The learner over a key source on the loop that the test feeds, with typing the test feeds too
// (on the same loop): the session is driven as a user would, answering what it asks.
#include "learning/key_learner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <mutex>
#include <sstream>

#include "tests/doubles/eventually.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/scripted_key_source.h"

namespace {

using Kind = SourceCondition::Kind;

// Typing: lines the test writes into a pipe, then the end of input, read as standard input
// is.
class FedInput {
  public:
    FedInput() {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        read_ = ends[0];
        write_ = ends[1];
        typed = MakeTypedInput(read_);
    }
    ~FedInput() {
        Close();
        ::close(read_);
    }
    FedInput(const FedInput&) = delete;
    FedInput& operator=(const FedInput&) = delete;

    void Type(const std::string& line) {
        const std::string bytes = line + "\n";
        EXPECT_EQ(::write(write_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void Close() {
        if (write_ >= 0) {
            ::close(write_);
            write_ = -1;
        }
    }
    std::unique_ptr<TypedInput> typed;

  private:
    int read_ = -1;
    int write_ = -1;
};

// What the learner printed, read while it runs.
class SaidText : public std::streambuf {
  public:
    // Waits until text appears after what was awaited before.
    bool Asked(const std::string& text) {
        return Eventually([&] {
            std::lock_guard lock(mutex_);
            const auto at = said_.find(text, from_);
            if (at != std::string::npos) {
                from_ = at + text.size();
            }
            return at != std::string::npos;
        });
    }
    std::string All() {
        std::lock_guard lock(mutex_);
        return said_;
    }
    std::ostream stream{this};

  protected:
    int_type overflow(int_type c) override {
        std::lock_guard lock(mutex_);
        said_ += traits_type::to_char_type(c);
        return c;
    }

  private:
    std::mutex mutex_;
    std::string said_;
    std::size_t from_ = 0;
};

struct Session {
    explicit Session(std::vector<SourceCondition> setup = {}) {
        auto fed = std::make_unique<FedKeySource>(std::move(setup));
        source = fed.get();
        std::vector<std::unique_ptr<KeySource>> sources;
        sources.push_back(std::move(fed));
        reader = std::make_unique<ReceiverLoop>(std::move(sources));
    }
    void Start(const std::string& path) {
        result = std::async(std::launch::async,
                            [this, path] { return learner.Run(*reader, "remote", path); });
    }
    int Finish() {
        input.Close();
        return result.get();
    }
    FedKeySource* source;
    std::unique_ptr<ReceiverLoop> reader;
    FedInput input;
    SaidText out;
    std::ostringstream err;
    KeyLearner learner{*input.typed, out.stream, err};
    std::future<int> result;
};

// A toggle bit's second code bound with the first, a taken code refused, Enter skipping,
// a held volume key made a repeating one, a line error on the way, and the old map kept.
TEST(KeyLearner, LearnsARemotesKeysThroughALineError) {
    ScratchFolder folder;
    const std::string keys = folder.FilePath("keys.conf");
    std::ofstream(keys) << "key 1 stop\n";
    Session session;
    session.Start(keys);
    ASSERT_TRUE(session.out.Asked("key for play-pause"));
    session.source->Push({Press(42)});
    ASSERT_TRUE(session.out.Asked("Press it again"));
    session.source->Push({SourceCondition{Kind::LineError, "noise"}, Press(42 | 0x80)});
    ASSERT_TRUE(session.out.Asked("bind both? [Y/n]"));
    session.input.Type("");
    ASSERT_TRUE(session.out.Asked("key for previous"));
    session.input.Type("");
    ASSERT_TRUE(session.out.Asked("key for next"));
    session.source->Push({BrokenEvent{KeyAction::Press, {Kind::LineError, "noise"}}, Press(42)});
    ASSERT_TRUE(session.out.Asked("taken already"));
    session.source->Push({Press(43)});
    ASSERT_TRUE(session.out.Asked("Press it again"));
    session.source->Push({Press(43)});
    ASSERT_TRUE(session.out.Asked("the same code"));
    ASSERT_TRUE(session.out.Asked("key for volume-up"));
    session.source->Push({Press(0x50), Repeat(0x50), Repeat(0x50)});
    ASSERT_TRUE(session.out.Asked("Press it again"));
    session.input.Type("");
    ASSERT_TRUE(session.out.Asked("key for volume-down"));
    EXPECT_EQ(session.Finish(), 0) << session.err.str();  // no more typing: the rest is skipped
    EXPECT_EQ(session.err.str(), "");
    const std::string learnt = FileText(keys);
    EXPECT_TRUE(learnt.ends_with(
        "key  42,170 play-pause\nkey  43 next\nkey  80 volume-up\nheld 80 volume-up\n"))
        << learnt;
    EXPECT_EQ(FileText(keys + ".bak"), "key 1 stop\n");
}

// A map there is added to: its sections, comments and other lines stay, a code it binds to
// another action is taken only once the user says so, and a held key left without a key
// line is noted.
TEST(KeyLearner, AddsToTheMapThereAskingBeforeTakingACode) {
    ScratchFolder folder;
    const std::string keys = folder.FilePath("keys.conf");
    const std::string old =
        "# mine\n"
        "key 1 play-pause  # the old remote\n"
        "key 2 mute\n"
        "held 2 volume-up\n"
        "held 9 stop\n"
        "\n"
        "[mode=tv]\n"
        "key 1 next\n";
    std::ofstream(keys) << old;
    Session session;
    session.Start(keys);
    ASSERT_TRUE(session.out.Asked("key for play-pause"));
    session.source->Push({Press(42)});
    ASSERT_TRUE(session.out.Asked("Press it again"));
    session.source->Push({Press(42)});
    ASSERT_TRUE(session.out.Asked("key for previous"));
    session.source->Push({Press(2)});
    ASSERT_TRUE(session.out.Asked(
        "code 2 is bound to mute in the key map: bind it to previous instead? [y/N] "));
    session.input.Type("");
    ASSERT_TRUE(session.out.Asked("Press another key"));
    session.source->Push({Press(7)});
    ASSERT_TRUE(session.out.Asked("Press it again"));
    session.source->Push({Press(7)});
    ASSERT_TRUE(session.out.Asked("key for next"));
    session.source->Push({Press(2)});
    ASSERT_TRUE(session.out.Asked("bind it to next instead? [y/N] "));
    session.input.Type("y");
    ASSERT_TRUE(session.out.Asked("Press it again"));
    session.source->Push({Press(2)});
    ASSERT_TRUE(session.out.Asked("key for volume-up"));
    EXPECT_EQ(session.Finish(), 0) << session.err.str();
    EXPECT_EQ(FileText(keys),
              "# mine\n"
              "key  42 play-pause  # the old remote\n"
              "held 2 volume-up\n"
              "held 9 stop\n"
              "key  2 next\n"
              "key  7 previous\n"
              "\n"
              "[mode=tv]\n"
              "key 1 next\n");
    EXPECT_EQ(FileText(keys + ".bak"), old);
    EXPECT_EQ(session.err.str(), "quorvel: " + keys +
                                     ":4: note: 9 has a held binding and no key binding: a "
                                     "single press does nothing\n");
}

// A source that cannot be set up, or is lost while a key is awaited, is said once, and
// nothing is written; a key map that cannot be written is refused before anything else.
TEST(KeyLearner, SaysWhatEndedItOnceAndWritesNothing) {
    struct Case {
        const char* name;
        std::vector<SourceCondition> setup;
        std::vector<SourceItem> items;
        bool intoFolder;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"absent",
         {{Kind::Absent, "not there"}},
         {},
         false,
         1,
         "quorvel: cannot learn from remote: not there\n"},
        {"lost",
         {},
         {SourceCondition{Kind::Lost, "unplugged"}},
         false,
         1,
         "quorvel: lost the receiver on remote: unplugged; nothing written\n"},
        {"lost_mid_event",
         {},
         {BrokenEvent{KeyAction::Press, {Kind::Lost, "hung up"}}},
         false,
         1,
         "quorvel: lost the receiver on remote: hung up; nothing written\n"},
        {"folder", {}, {}, true, 2, "it is a folder"},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::string keys = c.intoFolder ? folder.Path() : folder.FilePath("keys.conf");
        Session session(c.setup);
        session.source->Push(c.items);
        session.Start(keys);
        EXPECT_EQ(session.result.get(), c.status) << c.name;
        const std::string err = session.err.str();
        EXPECT_NE(err.find(c.err), std::string::npos) << c.name << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name << err;
        EXPECT_EQ(session.out.All().find("taken"), std::string::npos) << c.name;
        EXPECT_EQ(std::filesystem::exists(folder / "keys.conf"), false) << c.name;
        session.input.Close();
    }
}

}  // namespace
