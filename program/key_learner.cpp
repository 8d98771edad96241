#include "program/key_learner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "log/untrusted_text.h"
#include "program/file_replacement.h"
#include "program/key_map_file.h"
#include "program/utf8_path.h"
#include "receiver/event_protocol.h"
#include "receiver/receiver_log.h"
#include "receiver/serial_line.h"

namespace {

// A held key repeats about every 110 ms; a volume key held this long has repeated.
constexpr auto HoldTime = std::chrono::milliseconds(700);

// What the two threads report: a key event from the port, a line typed, or the end of
// typing.
struct Event {
    enum class Kind { Key, Line, EndOfInput, PortLost };
    Kind kind;
    int prefix = 0;
    int code = 0;
    std::string text = {};  // what was typed
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
        last = why;
    }
    // A line error leaves the port open; any other failed read means it was lost.
    bool LastWasLost() const { return last.rfind("a line error", 0) != 0; }
    std::string first;
    std::string last;
};

// The learner says the port's problems itself, once: the receiver's own diagnostics of
// the same problems are held back while it runs.
class ReceiverLogMuted {
  public:
    explicit ReceiverLogMuted(std::ostream& err)
        : previous_(SetLogSink([this, &err](const LogCategory& category, LogLevel level,
                                            const std::string& message) {
              if (&category == &lcReceiver) {
                  return;
              }
              if (previous_) {
                  previous_(category, level, message);
              } else {
                  err << category.Name() << ": " << message << '\n';
              }
          })) {}
    ~ReceiverLogMuted() { SetLogSink(previous_); }
    ReceiverLogMuted(const ReceiverLogMuted&) = delete;
    ReceiverLogMuted& operator=(const ReceiverLogMuted&) = delete;

  private:
    LogSink previous_;
};

}  // namespace

int KeyLearner::Run(const std::string& port, const std::filesystem::path& path) {
    // A folder or a device at path would be moved aside, or written through: refused
    // before a single key is asked for.
    if (const std::string why = WhyNotAFileToWrite(path); !why.empty()) {
        err_ << "quorvel: cannot write the key map to " << Utf8FromPath(path) << ": " << why
             << '\n';
        return 2;
    }
    const ReceiverLogMuted muted(err_);
    ErrorList errors;
    HistoryLog history(errors);
    SerialLine line(port, history);
    line.OpenPort();
    line.ConfigurePort();
    if (!errors.first.empty()) {
        err_ << "quorvel: cannot learn from " << UntrustedText(port) << ": " << errors.first
             << '\n';
        return 1;
    }

    auto events = std::make_shared<Events>();
    std::thread reader([&line, &errors, events] {
        // False once reading ends: stopped, or the port lost (said as an event).
        const auto read = [&](int& byte) {
            byte = line.ReadByte();
            if (byte == ByteSource::ReadFailed && errors.LastWasLost()) {
                events->Push({Event::Kind::PortLost});
                return false;
            }
            return byte != ByteSource::Stopped;
        };
        for (int first = 0, code = 0; read(first);) {
            if (first == KeyPrefix || first == RepeatPrefix) {
                if (!read(code)) {
                    return;
                }
                if (code >= 0) {
                    events->Push({Event::Kind::Key, first, code});
                }
            }
        }
    });
    // Typing cannot be interrupted, so this thread is left to end with the program; it holds
    // nothing of this object's but the stream, which must live as long (standard input).
    std::thread([in = &in_, events] {
        for (std::string typed; std::getline(*in, typed);) {
            events->Push({Event::Kind::Line, 0, 0, typed});
        }
        events->Push({Event::Kind::EndOfInput});
    }).detach();

    out_ << "Learning the remote on " << UntrustedText(port)
         << ". Press each key asked for; Enter skips one.\n";
    KeyMap keys;
    bool learnt = false;
    bool typing = true;
    bool lost = false;
    const auto never = std::chrono::steady_clock::time_point::max();
    // The next key press of this step: its code, or none when Enter skipped it, typing
    // ended or the port was lost.
    const auto nextPress = [&]() -> std::optional<int> {
        for (;;) {
            const Event event = *events->Next(never);
            if (event.kind == Event::Kind::PortLost) {
                lost = true;
                return std::nullopt;
            }
            if (event.kind != Event::Kind::Key) {
                // Enter skips this step; the end of input skips the rest.
                typing = event.kind == Event::Kind::Line;
                return std::nullopt;
            }
            if (event.prefix == KeyPrefix) {
                return event.code;
            }  // else repeats of a key still held
        }
    };
    // A held key's repeat codes, if it was held: new ones are added to held and said.
    const auto repeats = [&](std::vector<int>& held, const std::vector<int>& before) {
        const auto until = std::chrono::steady_clock::now() + HoldTime;
        while (const auto more = events->Next(until)) {
            if (more->kind != Event::Kind::Key || more->prefix != RepeatPrefix) {
                // typing, the next key or a lost port: the next step's
                events->Return(*more);
                break;
            }
            const auto known = [&](const std::vector<int>& codes) {
                return std::find(codes.begin(), codes.end(), more->code) != codes.end();
            };
            if (keys.Find(KeyMap::Kind::Held, more->code) == nullptr && !known(held) &&
                !known(before)) {
                held.push_back(more->code);
                out_ << ", repeats as held code " << more->code;
            }
        }
    };
    // Yes unless the answer typed starts with n; the end of input is a yes.
    const auto yes = [&]() {
        for (;;) {
            const Event event = *events->Next(never);
            if (event.kind == Event::Kind::PortLost) {
                lost = true;
                return false;
            }
            if (event.kind == Event::Kind::EndOfInput) {
                typing = false;
                out_ << '\n';
                return true;
            }
            if (event.kind == Event::Kind::Line) {
                const auto start = event.text.find_first_not_of(" \t");
                return start == std::string::npos ||
                       (event.text[start] != 'n' && event.text[start] != 'N');
            }
        }
    };
    for (const char* name : Asked) {
        const PlayerAction action = *ActionNamed(name);
        const bool volume = action == PlayerAction::VolumeUp || action == PlayerAction::VolumeDown;
        out_ << "Press the key for " << name << (volume ? " (hold it, so it repeats)" : "") << ": "
             << std::flush;
        if (lost) {
            break;
        }
        if (!typing) {
            out_ << "skipped\n";
            continue;
        }
        std::optional<int> code = nextPress();
        while (code && keys.Find(KeyMap::Kind::Press, *code) != nullptr) {
            out_ << "\n  code " << *code << " is taken already; press another key: " << std::flush;
            code = nextPress();
        }
        if (!code) {
            out_ << (lost ? "\n" : "skipped\n");
            continue;
        }
        learnt = true;
        std::vector<int> pressed{*code};
        std::vector<int> held;
        out_ << "code " << *code;
        if (volume) {
            repeats(held, {});
        }
        // A remote with a toggle bit (RC5, RC6) sends the next press of the same key as
        // another code: asking for it again finds both.
        out_ << "\n  Press it again" << (volume ? " (hold it)" : "") << ": " << std::flush;
        const std::optional<int> again = nextPress();
        if (!again) {
            out_ << (lost ? "\n" : "skipped\n");
        } else if (*again == *code) {
            out_ << "the same code";
            if (volume) {
                repeats(held, {});
            }
            out_ << '\n';
        } else if (keys.Find(KeyMap::Kind::Press, *again) != nullptr) {
            out_ << "code " << *again << " is taken already; keeping code " << *code << " alone\n";
        } else {
            std::vector<int> heldAgain;
            out_ << "code " << *again;
            if (volume) {
                repeats(heldAgain, held);
            }
            out_ << "; a second code for the same key (a toggle bit): bind both? [Y/n] "
                 << std::flush;
            if (yes()) {
                pressed.push_back(*again);
                held.insert(held.end(), heldAgain.begin(), heldAgain.end());
            }
        }
        keys.Bind(KeyMap::Kind::Press, pressed, PlayerRequest(action));
        if (!held.empty()) {
            keys.Bind(KeyMap::Kind::Held, held, PlayerRequest(action));
        }
    }
    line.RequestStop();
    reader.join();

    if (lost) {
        err_ << "quorvel: lost the receiver on " << UntrustedText(port) << ": " << errors.last
             << "; nothing written\n";
        return 1;
    }
    if (!learnt) {
        out_ << "No key learnt; nothing written.\n";
        return 1;
    }
    std::filesystem::path backup;
    std::string error;
    if (!KeyMapFile::Save(path, keys, backup, error)) {
        err_ << "quorvel: " << error << '\n';
        return 1;
    }
    out_ << "Wrote " << Utf8FromPath(path);
    if (!backup.empty()) {
        out_ << " (the one there before is now " << Utf8FromPath(backup) << ")";
    }
    out_ << ".\n";
    return 0;
}
