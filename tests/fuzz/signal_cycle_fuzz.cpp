// Feeds arbitrary line bytes through the error-mark decoder into the signal cycle, as the
// serial line does, and checks what must hold whatever arrives: the history keeps
// LineIndex + 1 lines, the waiting line is last whenever a byte is awaited, and exactly one
// command goes out per recognised event.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "receiver/line_error_decoder.h"
#include "receiver/signal_cycle.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/doubles/scripted_byte_source.h"

namespace {

const std::string Waiting = "Waiting for new signal...";

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// The remote's key layout, written out on its own so it does not share the code under test.
int CommandFor(int prefix, int code) {
    switch (code) {
        case 0x60:
            return prefix == 0x91 ? 18808 : 0;
        case 0x98:
            return prefix == 0x91 ? 18810 : 0;
        case 0x18:
            return prefix == 0x91 ? 18811 : 0;
        case 0xB0:
            return 18815;
        case 0x70:
            return 18816;
        default:
            return 0;
    }
}

class CheckedSource : public ByteSource {
  public:
    CheckedSource(ScriptedByteSource& inner, const MemoryHistoryList& list)
        : inner_(inner), list_(list) {}
    int ReadByte() override {
        Check(!list_.lines.empty() && list_.lines.back() == Waiting, "waiting line last");
        return inner_.ReadByte();
    }

  private:
    ScriptedByteSource& inner_;
    const MemoryHistoryList& list_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<int> values;
    LineErrorDecoder decoder;
    for (std::size_t i = 0; i < size; ++i) {
        const auto r = decoder.Feed(data[i]);
        if (r.kind == LineErrorDecoder::Kind::Byte) {
            values.push_back(r.value);
        } else if (r.kind == LineErrorDecoder::Kind::LineError) {
            values.push_back(ByteSource::ReadFailed);
        }
    }

    std::vector<int> expected;
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        if (values[i] == 0x91 || values[i] == 0x0D) {
            if (const int id = CommandFor(values[i], values[i + 1])) {
                expected.push_back(id);
            }
            ++i;
        }
    }

    MemoryHistoryList list({"Click to start the fun :)"});
    HistoryLog log(list);
    log.RemoveFirstLine();
    list.onRepaint = [&] {
        Check(static_cast<int>(list.lines.size()) == log.LineIndex() + 1, "LineIndex + 1 lines");
    };
    ScriptedByteSource script(values, &log);
    CheckedSource source(script, list);
    RecordingPlayerLink player;
    SignalCycle cycle(source, log, player);
    cycle.Run();

    Check(player.commands == expected, "one command per recognised event");
    Check(list.lines.back() == Waiting, "ends waiting");
    return 0;
}
