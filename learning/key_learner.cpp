#include "learning/key_learner.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "keymap/held_alone.h"
#include "keymap/key_map_document.h"
#include "keymap/key_map_file.h"
#include "keymap/key_map_merge.h"
#include "learning/key_recorder.h"
#include "learning/learner_input.h"
#include "log/untrusted_text.h"
#include "platform/file_replacement.h"
#include "platform/utf8_path.h"

namespace {

using Event = LearnerInput::Event;

// A line of ours around a path or a line of a file: longer than one untrusted piece.
constexpr std::size_t LineLimit = 1000;
// A held key repeats about every 110 ms; a volume key held this long has repeated.
constexpr auto HoldTime = std::chrono::milliseconds(700);
constexpr auto Never = std::chrono::steady_clock::time_point::max();

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
    if (!ReadMap(path)) {
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
    LearnerInput input(reader, typed_);
    input_ = &input;
    out_ << "Learning the remote on " << UntrustedText(name)
         << ". Press each key asked for; Enter skips one.\n";
    for (const char* asked : Asked) {
        if (!Learn(*ActionNamed(asked), asked)) {
            break;
        }
    }
    input_ = nullptr;
    if (lost_) {
        err_ << "quorvel: lost the receiver on " << UntrustedText(name) << ": " << lostWhy_
             << "; nothing written\n";
        return 1;
    }
    if (!learnt_) {
        out_ << "No key learnt; nothing written.\n";
        return 1;
    }
    return Write(path);
}

bool KeyLearner::Learn(PlayerAction action, const char* name) {
    const bool volume = action == PlayerAction::VolumeUp || action == PlayerAction::VolumeDown;
    out_ << "Press the key for " << name << (volume ? " (hold it, so it repeats)" : "") << ": "
         << std::flush;
    if (lost_) {
        return false;
    }
    if (!typing_) {
        out_ << "skipped\n";
        return true;
    }
    KeyRecorder recorder;
    recorder.Start();
    const std::optional<Key> code = FreePress(action);
    if (!code) {
        out_ << (lost_ ? "\n" : "skipped\n");
        return !lost_;
    }
    learnt_ = true;
    recorder.Took(*code);
    std::vector<Key> held;
    out_ << "code " << code->Text();
    if (volume) {
        Repeats(held, {}, action);
    }
    // A remote with a toggle bit (RC5, RC6) sends the next press of the same key as
    // another code: asking for it again finds both.
    out_ << "\n  Press it again" << (volume ? " (hold it)" : "") << ": " << std::flush;
    const std::optional<Key> again = NextPress();
    if (!again) {
        out_ << (lost_ ? "\n" : "skipped\n");
        recorder.Cancel();
    } else if (*again != *code && keys_.Find(KeyMap::Kind::Press, *again) != nullptr) {
        out_ << "code " << again->Text() << " is taken already; keeping code " << code->Text()
             << " alone\n";
        recorder.Cancel();
    } else if (recorder.Took(*again); recorder.Current() == KeyRecorder::Step::Done) {
        out_ << "the same code";
        if (volume) {
            Repeats(held, {}, action);
        }
        out_ << '\n';
    } else {
        std::vector<Key> heldAgain;
        out_ << "code " << again->Text();
        if (volume) {
            Repeats(heldAgain, held, action);
        }
        out_ << "; a second code for the same key (a toggle bit): bind both? [Y/n] " << std::flush;
        const std::string other = BoundElsewhere(map_, KeyMap::Kind::Press, *again, action);
        const bool both = Yes() && (other.empty() || MayTake(*again, other, action, "  "));
        recorder.Answer(both);
        if (both) {
            held.insert(held.end(), heldAgain.begin(), heldAgain.end());
        }
    }
    keys_.Bind(KeyMap::Kind::Press, recorder.Keys(), PlayerRequest(action));
    if (!held.empty()) {
        keys_.Bind(KeyMap::Kind::Held, held, PlayerRequest(action));
    }
    return true;
}

std::optional<Key> KeyLearner::NextPress() {
    for (;;) {
        const Event event = *input_->Next(Never);
        if (event.kind == Event::Kind::SourceLost) {
            lost_ = true;
            lostWhy_ = event.text;
            return std::nullopt;
        }
        if (event.kind != Event::Kind::Key) {
            // Enter skips this step; the end of typing skips the rest.
            typing_ = event.kind == Event::Kind::Line;
            return std::nullopt;
        }
        if (!event.held) {
            return event.key;
        }  // else repeats of a key still held
    }
}

std::optional<Key> KeyLearner::FreePress(PlayerAction action) {
    for (std::optional<Key> code = NextPress(); code; code = NextPress()) {
        if (keys_.Find(KeyMap::Kind::Press, *code) != nullptr) {
            out_ << "\n  code " << code->Text()
                 << " is taken already; press another key: " << std::flush;
            continue;
        }
        const std::string other = BoundElsewhere(map_, KeyMap::Kind::Press, *code, action);
        if (other.empty() || MayTake(*code, other, action, "\n  ")) {
            return code;
        }
        if (lost_ || !typing_) {
            return std::nullopt;
        }
        out_ << "  Press another key: " << std::flush;
    }
    return std::nullopt;
}

bool KeyLearner::MayTake(const Key& code, const std::string& other, PlayerAction action,
                         const char* lead) {
    if (replace_) {
        return true;
    }
    out_ << lead << "code " << code.Text() << " is bound to " << other
         << " in the key map: bind it to " << ActionName(action) << " instead? [y/N] "
         << std::flush;
    return Yes(false);
}

void KeyLearner::Repeats(std::vector<Key>& held, const std::vector<Key>& before,
                         PlayerAction action) {
    std::vector<Key> leftOut;  // held codes the map keeps for other actions
    const auto until = std::chrono::steady_clock::now() + HoldTime;
    while (const auto more = input_->Next(until)) {
        if (more->kind != Event::Kind::Key || !more->held) {
            // typing, the next key or a lost port: the next step's
            input_->PutBack(*more);
            break;
        }
        const auto known = [&](const std::vector<Key>& codes) {
            return std::find(codes.begin(), codes.end(), *more->key) != codes.end();
        };
        if (keys_.Find(KeyMap::Kind::Held, *more->key) != nullptr || known(held) || known(before) ||
            known(leftOut)) {
            continue;
        }
        out_ << ", repeats as held code " << more->key->Text();
        if (const std::string other = BoundElsewhere(map_, KeyMap::Kind::Held, *more->key, action);
            !other.empty() && !replace_) {
            out_ << " (left out: the key map holds it for " << other << ")";
            leftOut.push_back(*more->key);
        } else {
            held.push_back(*more->key);
        }
    }
}

bool KeyLearner::Yes(bool byDefault) {
    for (;;) {
        const Event event = *input_->Next(Never);
        if (event.kind == Event::Kind::SourceLost) {
            lost_ = true;
            lostWhy_ = event.text;
            return false;
        }
        if (event.kind == Event::Kind::EndOfInput) {
            typing_ = false;
            out_ << '\n';
            return byDefault;
        }
        if (event.kind == Event::Kind::Line) {
            const auto start = event.text.find_first_not_of(" \t");
            const char first = start == std::string::npos ? ' ' : event.text[start];
            return first == 'y' || first == 'Y' || (byDefault && first != 'n' && first != 'N');
        }
    }
}

bool KeyLearner::ReadMap(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found) {
        return true;  // a new one is written
    }
    const KeyMapFile::Read read = KeyMapFile::ReadFile(path);
    if (!read.problems.empty()) {
        err_ << "quorvel: " << UntrustedText(read.problems.front(), LineLimit)
             << " (the keys learnt are added to it)\n";
        return false;
    }
    text_ = read.text;
    std::vector<std::string> problems;
    map_ = KeyMap::Parse(read.text, Utf8FromPath(path), problems);
    return true;
}

int KeyLearner::Write(const std::filesystem::path& path) {
    const std::string source = Utf8FromPath(path);
    std::string text = KeyMapFile::Header() + keys_.Format();
    if (text_) {
        KeyMapDocument document(*text_, source);
        if (const std::string why = MergeLearnt(document, keys_); !why.empty()) {
            err_ << "quorvel: cannot add the keys learnt to " << source << ": " << why
                 << "; nothing written\n";
            return 1;
        }
        text = document.Text();
    }
    std::filesystem::path backup;
    std::string error;
    if (!KeyMapFile::SaveText(path, text, backup, error)) {
        err_ << "quorvel: " << error << '\n';
        return 1;
    }
    out_ << (text_ ? "Added the keys learnt to " : "Wrote ") << source;
    if (!backup.empty()) {
        out_ << " (the one there before is now " << Utf8FromPath(backup) << ")";
    }
    out_ << ".\n";
    for (const std::string& note : HeldAloneNotes(KeyMapDocument(text, source), source)) {
        err_ << "quorvel: " << UntrustedText(note, LineLimit) << '\n';
    }
    return 0;
}
