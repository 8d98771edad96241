#include "program/receiver_host.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <atomic>
#include <memory>

#include "player/null_player_link.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/locked_history_list.h"
#include "tests/doubles/source_loop.h"

namespace {

const std::string W = "Waiting for new signal...";

// Whether the receiver's player link (which its thread holds until it ends) was still
// there when the list went.
struct Witness {
    std::atomic<bool> linkAlive{false};
    std::atomic<bool> listOutlivedReceiver{false};
};

class WitnessedList : public LockedHistoryList {
  public:
    explicit WitnessedList(Witness& witness) : LockedHistoryList({"greeting"}), witness_(witness) {}
    ~WitnessedList() override { witness_.listOutlivedReceiver = !witness_.linkAlive; }

  private:
    Witness& witness_;
};

// The host is the only owner of its list: declared before or after anything else, it
// stops and joins a receiver blocked in its read before the list goes.
TEST(ReceiverHost, JoinsItsReceiversBeforeTheListGoes) {
    Witness witness;
    {
        auto list = std::make_unique<WitnessedList>(witness);
        WitnessedList& lines = *list;
        ReceiverHost host(std::move(list));
        host.Start(
            LoopOver(std::make_unique<FedKeySource>()),
            [&witness] {
                struct Link : NullPlayerLink {
                    explicit Link(Witness& w) : w(w) { w.linkAlive = true; }
                    ~Link() override { w.linkAlive = false; }
                    Witness& w;
                };
                return std::make_unique<Link>(witness);
            },
            std::make_shared<const SharedKeyMap>());
        lines.WaitFor([](const std::vector<std::string>& l) { return l == std::vector{W}; });
        ASSERT_TRUE(witness.linkAlive);
        // A second writer would keep a LineIndex of its own and corrupt the list.
        EXPECT_THROW(host.Start(LoopOver(std::make_unique<FedKeySource>()), {},
                                std::make_shared<const SharedKeyMap>()),
                     std::logic_error);
    }
    EXPECT_TRUE(witness.listOutlivedReceiver);
}

}  // namespace
