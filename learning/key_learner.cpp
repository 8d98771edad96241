#include "learning/key_learner.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "keymap/key_map_file.h"
#include "log/untrusted_text.h"
#include "platform/file_replacement.h"
#include "platform/utf8_path.h"

namespace {

// A held key repeats about every 110 ms; a volume key held this long has repeated.
constexpr auto HoldTime = std::chrono::milliseconds(700);

// What the learner waits for: a key event from the sources, a line typed, the end of
// typing, or a source lost.
struct Event {
    enum class Kind { Key, Line, EndOfInput, SourceLost };
    Kind kind;
    bool held = false;
    std::optional<Key> key = {};
    std::string text = {};  // what was typed, or why the source was lost
};

// Lines typed, from the thread that reads them, which wakes the loop for each while the
// learner runs.
class Typed {
  public:
    void Push(Event event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        if (reader_ != nullptr) {
            reader_->Wake();
        }
    }
    std::optional<Event> Take() {
        std::lock_guard lock(mutex_);
        if (events_.empty()) {
            return std::nullopt;
        }
        Event event = std::move(events_.front());
        events_.pop_front();
        return event;
    }
    // The loop to wake, or none once learning is over.
    void Wake(ReceiverLoop* reader) {
        std::lock_guard lock(mutex_);
        reader_ = reader;
    }

  private:
    std::mutex mutex_;
    std::deque<Event> events_;
    ReceiverLoop* reader_ = nullptr;
};

// The learner says the sources' problems itself, once: their own diagnostics of the same
// problems are held back while it runs.
class SourceLogsMuted {
  public:
    SourceLogsMuted(std::ostream& err, std::set<const LogCategory*> muted)
        : muted_(std::move(muted)),
          previous_(SetLogSink([this, &err](const LogCategory& category, LogLevel level,
                                            const std::string& message) {
              if (muted_.count(&category) != 0) {
                  return;
              }
              if (previous_) {
                  previous_(category, level, message);
              } else {
                  err << category.Name() << ": " << message << '\n';
              }
          })) {}
    ~SourceLogsMuted() { SetLogSink(previous_); }
    SourceLogsMuted(const SourceLogsMuted&) = delete;
    SourceLogsMuted& operator=(const SourceLogsMuted&) = delete;

  private:
    std::set<const LogCategory*> muted_;
    LogSink previous_;
};

}  // namespace

int KeyLearner::Run(ReceiverLoop& reader, const std::string& name,
                    const std::filesystem::path& path) {
    // A folder or a device at path would be moved aside, or written through: refused
    // before a single key is asked for.
    if (const std::string why = WhyNotAFileToWrite(path); !why.empty()) {
        err_ << "quorvel: cannot write the key map to " << Utf8FromPath(path) << ": " << why
             << '\n';
        return 2;
    }
    std::set<const LogCategory*> sourceLogs;
    for (const auto& source : reader.Sources()) {
        sourceLogs.insert(&source->Log());
    }
    const SourceLogsMuted muted(err_, std::move(sourceLogs));
    reader.Open();
    if (const auto problems = reader.Configure(); !problems.empty()) {
        err_ << "quorvel: cannot learn from " << UntrustedText(name) << ": "
             << problems.front().reason << '\n';
        return 1;
    }

    // Typing cannot be interrupted, so its thread is left to end with the program; it holds
    // nothing of this object's but the stream, which must live as long (standard input).
    auto typed = std::make_shared<Typed>();
    typed->Wake(&reader);
    const struct Unhook {
        Typed& typed;
        ~Unhook() { typed.Wake(nullptr); }
    } unhook{*typed};
    std::thread([in = &in_, typed] {
        for (std::string line; std::getline(*in, line);) {
            typed->Push({Event::Kind::Line, false, std::nullopt, line});
        }
        typed->Push({Event::Kind::EndOfInput});
    }).detach();
    // What was put back, to be the next event again.
    std::deque<Event> returned;
    // The next event, or none once deadline has passed.
    const auto next = [&](std::chrono::steady_clock::time_point deadline) -> std::optional<Event> {
        for (;;) {
            if (!returned.empty()) {
                Event event = std::move(returned.front());
                returned.pop_front();
                return event;
            }
            if (auto event = typed->Take()) {
                return event;
            }
            const SourceItem item = reader.NextBefore(deadline);
            const SourceCondition* failure = std::get_if<SourceCondition>(&item);
            if (const auto* broken = std::get_if<BrokenEvent>(&item)) {
                failure = &broken->why;
            }
            if (const auto* event = std::get_if<KeyEvent>(&item)) {
                if (event->action != KeyAction::Release) {
                    return Event{Event::Kind::Key, event->action == KeyAction::Repeat, event->key};
                }
            } else if (failure != nullptr && failure->kind != SourceCondition::Kind::LineError &&
                       failure->kind != SourceCondition::Kind::Back) {
                // A line error only damages the event it hit; a lost source ends learning.
                return Event{Event::Kind::SourceLost, false, std::nullopt, failure->reason};
            } else if (std::holds_alternative<TimedOut>(item) &&
                       std::chrono::steady_clock::now() >= deadline) {
                return std::nullopt;
            }
        }
    };
    out_ << "Learning the remote on " << UntrustedText(name)
         << ". Press each key asked for; Enter skips one.\n";
    KeyMap keys;
    bool learnt = false;
    bool typing = true;
    bool lost = false;
    const auto never = std::chrono::steady_clock::time_point::max();
    std::string lostWhy;
    // The next key press of this step: its key, or none when Enter skipped it, typing
    // ended or the source was lost.
    const auto nextPress = [&]() -> std::optional<Key> {
        for (;;) {
            Event event = *next(never);
            if (event.kind == Event::Kind::SourceLost) {
                lost = true;
                lostWhy = event.text;
                return std::nullopt;
            }
            if (event.kind != Event::Kind::Key) {
                // Enter skips this step; the end of input skips the rest.
                typing = event.kind == Event::Kind::Line;
                return std::nullopt;
            }
            if (!event.held) {
                return event.key;
            }  // else repeats of a key still held
        }
    };
    // A held key's repeat codes, if it was held: new ones are added to held and said.
    const auto repeats = [&](std::vector<Key>& held, const std::vector<Key>& before) {
        const auto until = std::chrono::steady_clock::now() + HoldTime;
        while (const auto more = next(until)) {
            if (more->kind != Event::Kind::Key || !more->held) {
                // typing, the next key or a lost port: the next step's
                returned.push_back(*more);
                break;
            }
            const auto known = [&](const std::vector<Key>& codes) {
                return std::find(codes.begin(), codes.end(), *more->key) != codes.end();
            };
            if (keys.Find(KeyMap::Kind::Held, *more->key) == nullptr && !known(held) &&
                !known(before)) {
                held.push_back(*more->key);
                out_ << ", repeats as held code " << more->key->Text();
            }
        }
    };
    // Yes unless the answer typed starts with n; the end of input is a yes.
    const auto yes = [&]() {
        for (;;) {
            const Event event = *next(never);
            if (event.kind == Event::Kind::SourceLost) {
                lost = true;
                lostWhy = event.text;
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
        std::optional<Key> code = nextPress();
        while (code && keys.Find(KeyMap::Kind::Press, *code) != nullptr) {
            out_ << "\n  code " << code->Text()
                 << " is taken already; press another key: " << std::flush;
            code = nextPress();
        }
        if (!code) {
            out_ << (lost ? "\n" : "skipped\n");
            continue;
        }
        learnt = true;
        std::vector<Key> pressed{*code};
        std::vector<Key> held;
        out_ << "code " << code->Text();
        if (volume) {
            repeats(held, {});
        }
        // A remote with a toggle bit (RC5, RC6) sends the next press of the same key as
        // another code: asking for it again finds both.
        out_ << "\n  Press it again" << (volume ? " (hold it)" : "") << ": " << std::flush;
        const std::optional<Key> again = nextPress();
        if (!again) {
            out_ << (lost ? "\n" : "skipped\n");
        } else if (*again == *code) {
            out_ << "the same code";
            if (volume) {
                repeats(held, {});
            }
            out_ << '\n';
        } else if (keys.Find(KeyMap::Kind::Press, *again) != nullptr) {
            out_ << "code " << again->Text() << " is taken already; keeping code " << code->Text()
                 << " alone\n";
        } else {
            std::vector<Key> heldAgain;
            out_ << "code " << again->Text();
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
    if (lost) {
        err_ << "quorvel: lost the receiver on " << UntrustedText(name) << ": " << lostWhy
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
