// The signal cycle's cost per event with an in-memory history and a recording player,
// for the three kinds of input a receiver produces; and the key map's own costs that grow
// with what a file or a player gives it: many sections, a long Identity.
#include <benchmark/benchmark.h>

#include <deque>
#include <string>
#include <vector>

#include "keymap/key_map.h"
#include "receiver/signal_cycle.h"
#include "serial/serial_event_decoder.h"
#include "tests/doubles/recording_player_link.h"

namespace {

// A history that keeps only a bounded tail, so a long run measures the cycle rather than
// the growth of one vector.
class TailHistoryList : public HistoryList {
  public:
    // The log trims its oldest lines in batches, more than this tail keeps.
    void DeleteLine(int) override {
        if (!lines_.empty()) {
            lines_.pop_back();
        }
    }
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

// The serial line's decoding of a pattern of bytes repeated for ever, as fast as it is read.
class LoopReader : public KeyReader {
  public:
    explicit LoopReader(std::vector<std::uint8_t> pattern) : pattern_(std::move(pattern)) {}
    void Open() override {}
    std::vector<SourceCondition> Configure() override { return {}; }
    SourceItem NextBefore(Deadline) override {
        while (next_ == items_.size()) {
            items_.clear();
            next_ = 0;
            decoder_.Feed(pattern_, items_);
        }
        return std::move(items_[next_++]);
    }
    void RequestStop() override {}

  private:
    std::vector<std::uint8_t> pattern_;
    SerialEventDecoder decoder_{"loop"};
    std::vector<SourceItem> items_;
    std::size_t next_ = 0;
};

// The serial line's decoding and the cycle, pass by pass, over bytes that never run out.
void RunEvents(benchmark::State& state, std::vector<std::uint8_t> pattern) {
    TailHistoryList list;
    HistoryLog log(list);
    LoopReader line(std::move(pattern));
    RecordingPlayerLink player;
    const SharedKeyMap keys;
    SignalCycle cycle(line, log, player, keys);
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
    RunEvents(state, {0x05, 0x42, 0xFF, 0xFF, 0x00});
}

// Reading a map of N one-line sections.
void BM_ReadSections(benchmark::State& state) {
    std::string text = "key 1 play-pause\n";
    for (int i = 0; i < state.range(0); ++i) {
        text += "[player=player" + std::to_string(i) + "]\nkey 1 stop\n";
    }
    for (auto _ : state) {
        std::vector<std::string> problems;
        benchmark::DoNotOptimize(KeyMap::Parse(text, "keys.conf", problems));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A key whose section's glob could match a 120,000-character Identity in many ways and
// matches it in none.
void BM_PathologicalGlob(benchmark::State& state) {
    std::vector<std::string> problems;
    const KeyMap keys =
        KeyMap::Parse("key 1 play-pause\n[player=*" + std::string(200, 'a') + "b*]\nkey 1 stop\n",
                      "keys.conf", problems);
    const KeyContext context{"", {std::string(120000, 'a')}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(keys.Decode({KeyAction::Press, Key::Code(1)}, context));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_KeyPresses);
BENCHMARK(BM_HeldKeys);
BENCHMARK(BM_StrayBytes);
BENCHMARK(BM_ReadSections)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PathologicalGlob)->Unit(benchmark::kMicrosecond);

}  // namespace
