// The signal cycle's cost per event with an in-memory history and a recording player,
// for the three kinds of input a receiver produces.
#include <benchmark/benchmark.h>

#include <deque>

#include "receiver/signal_cycle.h"
#include "tests/doubles/recording_player_link.h"

namespace {

// A history that keeps only a bounded tail, so a long run measures the cycle rather than
// the growth of one vector.
class TailHistoryList : public HistoryList {
  public:
    void DeleteLine(int) override { lines_.pop_back(); }
    void InsertLine(int, const std::string& text) override {
        lines_.push_back(text);
        if (lines_.size() > 64) {
            lines_.pop_front();
        }
    }
    void Repaint() override {}

  private:
    std::deque<std::string> lines_;
};

// Repeats a pattern of bytes for ever.
class LoopSource : public ByteSource {
  public:
    explicit LoopSource(std::vector<int> pattern) : pattern_(std::move(pattern)) {}
    int ReadByte() override {
        const int v = pattern_[next_];
        next_ = (next_ + 1) % pattern_.size();
        return v;
    }

  private:
    std::vector<int> pattern_;
    std::size_t next_ = 0;
};

void RunEvents(benchmark::State& state, std::vector<int> pattern) {
    TailHistoryList list;
    HistoryLog log(list);
    LoopSource source(std::move(pattern));
    RecordingPlayerLink player;
    SignalCycle cycle(source, log, player);
    for (auto _ : state) {
        cycle.RunOnePass();
        if (player.actions.size() > 4096) {
            player.actions.clear();
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_KeyPresses(benchmark::State& state) {
    RunEvents(state, {0x91, 0x60, 0x91, 0x98, 0x91, 0x18, 0x91, 0xB0, 0x91, 0x70, 0x91, 0x2A});
}
void BM_HeldKeys(benchmark::State& state) {
    RunEvents(state, {0x0D, 0xB0, 0x0D, 0x70, 0x0D, 0x60});
}
void BM_StrayBytes(benchmark::State& state) {
    RunEvents(state, {0x05, 0x42, 0xFF, 0x00});
}

BENCHMARK(BM_KeyPresses);
BENCHMARK(BM_HeldKeys);
BENCHMARK(BM_StrayBytes);

}  // namespace
