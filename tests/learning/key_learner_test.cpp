// The learner over a key source on the loop that the test feeds, with typing the test feeds too:
// the session is driven as a user would, answering what it asks.
#include "learning/key_learner.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
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

// Typing: lines the test gives, then the end of input. Its reader is never joined (typing
// cannot be interrupted), so every one lives as long as the test program.
class FedInput : public std::streambuf {
  public:
    static FedInput& Make() {
        // Never destroyed: a reader may still be on its way out when the program ends.
        static auto* const inputs = new std::deque<FedInput>;
        return inputs->emplace_back();
    }
    void Type(const std::string& line) {
        std::lock_guard lock(mutex_);
        typed_ += line + "\n";
        changed_.notify_all();
    }
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    std::istream stream{this};

  protected:
    int_type underflow() override {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return closed_ || !typed_.empty(); });
        if (typed_.empty()) {
            return traits_type::eof();
        }
        current_ = typed_[0];
        typed_.erase(0, 1);
        setg(&current_, &current_, &current_ + 1);
        return traits_type::to_int_type(current_);
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string typed_;
    bool closed_ = false;
    char current_ = 0;
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
    FedInput& input = FedInput::Make();
    SaidText out;
    std::ostringstream err;
    KeyLearner learner{input.stream, out.stream, err};
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
