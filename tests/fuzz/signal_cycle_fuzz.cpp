// Feeds arbitrary line bytes through the serial line's decoding (its error marks and event
// framing) into the signal cycle, and checks what must hold whatever arrives: the history keeps
// LineIndex + 1 lines, the waiting line is last whenever a byte is awaited, and exactly one
// command goes out per recognised event.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "receiver/signal_cycle.h"
#include "serial/line_error_decoder.h"
#include "serial/serial_event_decoder.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/doubles/remote_layout.h"

namespace {

const std::string Waiting = "Waiting for new signal...";

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// Keeps only what the checks need, the line count and the last line, so an input costs
// no allocation per line: the fuzzer's speed is its reach.
class CheckedList : public HistoryList {
  public:
    // Set once the log over this list exists.
    const HistoryLog* log = nullptr;

    void DeleteLine(int index) override {
        Check(index >= 0 && index < count_, "delete inside the list");
        Check(index == count_ - 1 || index == 0, "only the first or last line is deleted");
        --count_;
    }
    void InsertLine(int index, const std::string& text) override {
        Check(index == count_, "lines are only appended");
        ++count_;
        last_ = text;
    }
    void Repaint() override { Check(count_ == log->LineIndex() + 1, "LineIndex + 1 lines"); }
    bool WaitingLast() const { return count_ > 0 && last_ == Waiting; }

  private:
    int count_ = 1;  // the greeting
    std::string last_;
};

// Hands the input over as the serial line would, decoded in the pieces the tty would give,
// checking at each item asked for that the user sees the waiting line; then says it stopped.
class CheckedReader : public KeyReader {
  public:
    CheckedReader(const std::uint8_t* data, std::size_t size, const CheckedList& list)
        : data_(data), size_(size), list_(list) {}
    void Open() override {}
    std::vector<SourceCondition> Configure() override { return {}; }
    SourceItem NextBefore(Deadline) override {
        Check(list_.WaitingLast(), "waiting line last");
        while (next_item_ == items_.size() && next_ < size_) {
            items_.clear();
            next_item_ = 0;
            const std::size_t count = std::min<std::size_t>(64, size_ - next_);
            decoder_.Feed(std::span(data_ + next_, count), items_);
            next_ += count;
        }
        return next_item_ < items_.size() ? items_[next_item_++] : SourceItem(SourceStopped{});
    }
    void RequestStop() override {}

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
    const CheckedList& list_;
    SerialEventDecoder decoder_{"fuzz"};
    std::vector<SourceItem> items_;
    std::size_t next_item_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<int> values;
    values.reserve(size);
    LineErrorDecoder decoder;
    for (std::size_t i = 0; i < size; ++i) {
        const auto r = decoder.Feed(data[i]);
        if (r.kind == LineErrorDecoder::Kind::Byte) {
            values.push_back(r.value);
        } else if (r.kind == LineErrorDecoder::Kind::LineError) {
            values.push_back(-1);
        }
    }

    const std::vector<PlayerAction> expected = ExpectedCommands(values);

    CheckedList list;
    HistoryLog log(list);
    list.log = &log;
    CheckedReader line(data, size, list);
    RecordingPlayerLink player;
    const SharedKeyMap keys;
    SignalCycle cycle(line, log, player, keys);
    cycle.Start();
    cycle.Run();

    Check(player.actions == expected, "one action per recognised event");
    Check(list.WaitingLast(), "ends waiting");
    return 0;
}
