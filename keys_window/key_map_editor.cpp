#include "keys_window/key_map_editor.h"

#include "platform/child_command.h"
#include "platform/file_replacement.h"
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

KeyMapEditor::Saved KeyMapEditor::OnDisk(std::string& why) const {
    std::error_code ignored;
    if (read_.exists &&
        !std::filesystem::exists(std::filesystem::symlink_status(read_.path, ignored))) {
        return Saved::Removed;
    }
    const KeyMapFile::Read now = KeyMapFile::ReadFile(option_);
    if (now.exists && !now.problems.empty() && now.bytes.empty()) {
        why = Joined(now.problems);  // not read at all: what is there now is unknown
        return Saved::Refused;
    }
    return now.exists != read_.exists || now.bytes != read_.bytes ? Saved::ChangedOnDisk
                                                                  : Saved::Written;
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

KeyMapEditor::Saved KeyMapEditor::Save(Overwrite overwrite, std::string& why) {
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
    if (const Saved onDisk = OnDisk(why);
        onDisk == Saved::Refused || (!overwrite.changed && onDisk != Saved::Written)) {
        return onDisk;
    }
    if (!overwrite.readOnly && IsMarkedReadOnly(read_.path)) {
        return Saved::ReadOnly;
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
