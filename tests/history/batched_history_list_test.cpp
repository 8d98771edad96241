#include "history/batched_history_list.h"

#include <gtest/gtest.h>

#include "tests/doubles/memory_history_list.h"

namespace {

class Batches : public BatchedHistoryList {
  public:
    using BatchedHistoryList::ApplyTo;
    using BatchedHistoryList::Behind;
    int handOvers = 0;

  protected:
    void RequestHandOver() override { ++handOvers; }
};

// A batch applied a little at a time ends as the whole batch applied at once, in order,
// with the writes made meanwhile after it.
TEST(BatchedHistoryList, ABatchAppliedInPartsKeepsItsOrder) {
    Batches batches;
    for (const char* line : {"a", "b", "c", "d"}) {
        batches.InsertLine(0, line);  // newest first, as the history writes
    }
    batches.DeleteFirstLines(3);
    batches.ExplainLine(0, "why");
    MemoryHistoryList target;
    int calls = 0;
    std::size_t lastSize = 0;
    while (batches.ApplyTo(target, false, 2)) {
        ++calls;
        // Never more than two lines' worth of work in one call: two inserts, or two of the
        // three lines deleted.
        EXPECT_LE(lastSize > target.lines.size() ? lastSize - target.lines.size()
                                                 : target.lines.size() - lastSize,
                  2u);
        lastSize = target.lines.size();
        if (calls == 1) {
            batches.InsertLine(0, "later");  // joins the next batch
        }
    }
    EXPECT_FALSE(batches.Behind());
    EXPECT_EQ(target.lines, (std::vector<std::string>{"later", "a"}));
    EXPECT_EQ(target.whys, (std::vector<std::string>{"", "why"}));
    EXPECT_EQ(calls, 5);  // 4 inserts, 3 + 1 lines, then the later batch
    EXPECT_EQ(batches.handOvers, 2);
}

}  // namespace
