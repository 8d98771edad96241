#include "keys_window/key_map_editor.h"

#include "platform/child_command.h"
#include "platform/utf8_path.h"

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

}  // namespace

KeyMapEditor::KeyMapEditor(std::filesystem::path keysOption)
    : option_(std::move(keysOption)),
      read_(KeyMapFile::ReadFile(option_)),
      document_(read_.exists ? read_.text : KeyMapFile::Header() + KeyMap::Standard().Format(),
                Utf8FromPath(read_.path), ChildCommandProblem) {
    // Refused as Load refuses it, the trust judged on the file read.
    std::vector<std::string> problems = read_.problems;
    if (problems.empty()) {
        problems = document_.Problems();
    }
    if (problems.empty() && read_.exists && document_.Map().HasRunBindings() &&
        !read_.untrusted.empty()) {
        problems.push_back(KeyMapFile::RunRefusal(read_.path, read_.untrusted));
    }
    readOnly_ = Joined(problems);
}

bool KeyMapEditor::ChangedOnDisk() const {
    const KeyMapFile::Read now = KeyMapFile::ReadFile(option_);
    return now.exists != read_.exists || now.bytes != read_.bytes || now.problems != read_.problems;
}

std::vector<std::string> KeyMapEditor::Problems() const {
    std::vector<std::string> problems = document_.Problems();
    if (problems.empty() && document_.Map().HasRunBindings()) {
        // Judged afresh: a file read may be trusted, and a new one is judged by its folders.
        if (const std::string why = KeyMapFile::WhyUntrustedToWrite(read_.path); !why.empty()) {
            problems.push_back(KeyMapFile::RunRefusal(read_.path, why));
        }
    }
    return problems;
}

KeyMapEditor::Saved KeyMapEditor::Save(bool overwrite, std::string& why) {
    why.clear();
    if (!readOnly_.empty()) {
        why = readOnly_;
        return Saved::Refused;
    }
    if (!document_.Modified()) {
        return Saved::Unchanged;
    }
    if (const std::vector<std::string> problems = Problems(); !problems.empty()) {
        why = Joined(problems);
        return Saved::Refused;
    }
    if (!overwrite && ChangedOnDisk()) {
        return Saved::ChangedOnDisk;
    }
    // A map saved with a byte order mark keeps it; one in UTF-16 is written as UTF-8.
    const std::string text = document_.Text();
    const std::string bytes =
        (read_.bytes.starts_with(ByteOrderMark) ? std::string(ByteOrderMark) : "") + text;
    std::filesystem::path backup;
    if (!KeyMapFile::SaveText(read_.path, bytes, backup, why)) {
        return Saved::Refused;
    }
    read_.exists = true;
    read_.bytes = bytes;
    read_.problems.clear();
    document_ = KeyMapDocument(text, Utf8FromPath(read_.path), ChildCommandProblem);
    why = Utf8FromPath(backup);
    return Saved::Written;
}

bool KeyMapEditor::SaveAsking(const std::function<bool(const std::string& question)>& ask,
                              const std::function<void(const std::string& warning)>& warn,
                              const std::function<bool()>& reload) {
    std::string why;
    Saved saved = Save(false, why);
    if (saved == Saved::ChangedOnDisk) {
        if (!ask(Utf8FromPath(Path()) +
                 " was changed since this window read it (in an editor, or by another "
                 "Quorvel). Write this window's map over it? What is there now is kept as a "
                 "backup.")) {
            return false;
        }
        saved = Save(true, why);
    }
    if (saved == Saved::Refused) {
        warn("Not saved: " + why);
        return false;
    }
    if (saved == Saved::Written && reload && !reload()) {
        warn("Saved, but the map was not put in force: the program's log says why.");
    }
    return true;
}
