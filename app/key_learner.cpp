#include "app/key_learner.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/file_replacement.h"
#include "app/key_map_file.h"
#include "receiver/key_code_table.h"
#include "receiver/serial_line.h"

namespace {

// A held key repeats about every 110 ms; a volume key held this long has repeated.
constexpr auto HoldTime = std::chrono::milliseconds(700);

// What the two threads report: a key event from the port, a line typed, or the end of
// typing.
struct Event {
    enum class Kind { Key, Line, EndOfInput };
    Kind kind;
    int prefix = 0;
    int code = 0;
};

class Events {
  public:
    void Push(Event event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        }
        changed_.notify_all();
    }
    // Gives an event back, to be the next one again.
    void Return(Event event) {
        std::lock_guard lock(mutex_);
        events_.push_front(event);
    }
    // The next event, or none once deadline has passed.
    std::optional<Event> Next(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [this] { return !events_.empty(); })) {
            return std::nullopt;
        }
        const Event event = events_.front();
        events_.pop_front();
        return event;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Event> events_;
};

// The port's history lines are not shown; only why an "Err" line was written matters.
class ErrorList : public HistoryList {
  public:
    void DeleteLine(int) override {}
    void InsertLine(int, const std::string&) override {}
    void Repaint() override {}
    void ExplainLine(int, const std::string& why) override {
        if (first.empty()) {
            first = why;
        }
    }
    std::string first;
};

}  // namespace

int KeyLearner::Run(const std::string& port, const std::string& path) {
    // A folder or a device at path would be moved aside, or written through: refused
    // before a single key is asked for.
    if (const std::string why = WhyNotAFileToWrite(path); !why.empty()) {
        err_ << "quorvel: cannot write the key map to " << path << ": " << why << '\n';
        return 2;
    }
    ErrorList errors;
    HistoryLog history(errors);
    SerialLine line(port, history);
    line.OpenPort();
    line.ConfigurePort();
    if (!errors.first.empty()) {
        err_ << "quorvel: cannot learn from " << port << ": " << errors.first << '\n';
        return 1;
    }

    auto events = std::make_shared<Events>();
    std::thread reader([&line, events] {
        for (;;) {
            const int first = line.ReadByte();
            if (first == ByteSource::Stopped) {
                return;
            }
            if (first == KeyPrefix || first == RepeatPrefix) {
                const int code = line.ReadByte();
                if (code == ByteSource::Stopped) {
                    return;
                }
                events->Push({Event::Kind::Key, first, code});
            }
        }
    });
    // Typing cannot be interrupted, so this thread is left to end with the program; it holds
    // nothing of this object's but the stream, which must live as long (standard input).
    std::thread([in = &in_, events] {
        for (std::string typed; std::getline(*in, typed);) {
            events->Push({Event::Kind::Line});
        }
        events->Push({Event::Kind::EndOfInput});
    }).detach();

    out_ << "Learning the remote on " << port << ". Press each key asked for; Enter skips one.\n";
    KeyMap keys;
    bool learnt = false;
    bool typing = true;
    const auto never = std::chrono::steady_clock::time_point::max();
    for (const char* name : Asked) {
        const PlayerAction action = *ActionNamed(name);
        const bool volume = action == PlayerAction::VolumeUp || action == PlayerAction::VolumeDown;
        out_ << "Press the key for " << name << (volume ? " (hold it, so it repeats)" : "") << ": "
             << std::flush;
        if (!typing) {
            out_ << "skipped\n";
            continue;
        }
        for (;;) {
            const Event event = *events->Next(never);
            if (event.kind != Event::Kind::Key) {
                // Enter skips this action; the end of input skips the rest.
                typing = event.kind == Event::Kind::Line;
                out_ << "skipped\n";
                break;
            }
            if (event.prefix != KeyPrefix) {
                continue;  // repeats of a key still held
            }
            if (!keys.Bind(KeyMap::Kind::Press, event.code, PlayerRequest(action))) {
                out_ << "\n  code " << event.code
                     << " is taken already; press another key: " << std::flush;
                continue;
            }
            learnt = true;
            out_ << "code " << event.code;
            if (volume) {
                // Its repeats, if it was held, make it a repeating key.
                const auto until = std::chrono::steady_clock::now() + HoldTime;
                while (const auto more = events->Next(until)) {
                    if (more->kind != Event::Kind::Key || more->prefix != RepeatPrefix) {
                        events->Return(*more);  // typing, or the next key: the next action's
                        break;
                    }
                    if (keys.Bind(KeyMap::Kind::Held, more->code, PlayerRequest(action))) {
                        out_ << ", repeats as held code " << more->code;
                    }
                }
            }
            out_ << '\n';
            break;
        }
    }
    line.RequestStop();
    reader.join();

    if (!learnt) {
        out_ << "No key learnt; nothing written.\n";
        return 1;
    }
    std::string backup;
    std::string error;
    if (!KeyMapFile::Save(path, keys, backup, error)) {
        err_ << "quorvel: " << error << '\n';
        return 1;
    }
    out_ << "Wrote " << path;
    if (!backup.empty()) {
        out_ << " (the one there before is now " << backup << ")";
    }
    out_ << ".\n";
    return 0;
}
