// Feeds arbitrary line bytes through the error-mark decoder into the signal cycle, as the
// serial line does, and checks what must hold whatever arrives: the history keeps
// LineIndex + 1 lines, the waiting line is last whenever a byte is awaited, and exactly one
// command goes out per recognised event.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "receiver/line_error_decoder.h"
#include "receiver/signal_cycle.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/doubles/remote_layout.h"
#include "tests/doubles/scripted_byte_source.h"

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

class CheckedSource : public ByteSource {
  public:
    CheckedSource(ScriptedByteSource& inner, const CheckedList& list)
        : inner_(inner), list_(list) {}
    int ReadByte() override {
        Check(list_.WaitingLast(), "waiting line last");
        return inner_.ReadByte();
    }

  private:
    ScriptedByteSource& inner_;
    const CheckedList& list_;
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
            values.push_back(ByteSource::ReadFailed);
        }
    }

    const std::vector<PlayerAction> expected = ExpectedCommands(values);

    CheckedList list;
    HistoryLog log(list);
    list.log = &log;
    log.RemoveFirstLine();
    ScriptedByteSource script(std::move(values), &log);
    CheckedSource source(script, list);
    RecordingPlayerLink player;
    SignalCycle cycle(source, log, player);
    cycle.Run();

    Check(player.actions == expected, "one action per recognised event");
    Check(list.WaitingLast(), "ends waiting");
    return 0;
}
