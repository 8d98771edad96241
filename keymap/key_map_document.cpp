#include "keymap/key_map_document.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "keymap/key_list_text.h"
#include "keymap/key_map_words.h"
#include "log/untrusted_text.h"

namespace {

using namespace key_map_words;

enum class LineKind { Blank, Header, Binding };

LineKind KindOf(std::string_view line) {
    const std::string_view text = Trimmed(line);
    if (text.empty() || text.front() == '#') {
        return LineKind::Blank;
    }
    return text.front() == '[' ? LineKind::Header : LineKind::Binding;
}

bool SameRequest(const KeyMap::Binding& a, const KeyMap::Binding& b) {
    return a.has_value() == b.has_value() &&
           (!a || (a->action == b->action && a->seconds == b->seconds && a->command == b->command));
}

// Whether a and b bind the same, wherever they are.
bool SameBinding(const KeyMap::Line& a, const KeyMap::Line& b) {
    std::vector<Key> aKeys = a.keys;
    std::vector<Key> bKeys = b.keys;
    std::sort(aKeys.begin(), aKeys.end());
    std::sort(bKeys.begin(), bKeys.end());
    return a.kind == b.kind && aKeys == bKeys && SameRequest(a.binding, b.binding) &&
           a.hold == b.hold;
}

// The keys of a binding's line as written: its second word.
std::string_view KeyListOf(std::string_view line) {
    NextWord(line);
    return NextWord(line, true);
}

// Each of keys as spelling has it, else as the writer spells it.
std::vector<std::string> Spelled(const std::vector<Key>& keys,
                                 const std::map<Key, std::string>& spelling) {
    std::vector<std::string> words;
    for (const Key& key : keys) {
        const auto found = spelling.find(key);
        words.push_back(found != spelling.end() ? found->second : KeyListText({key}));
    }
    return words;
}

// The binding one line makes alone, read as the reader reads it but without judging a run
// command; none when the line does not read.
std::optional<KeyMap::Line> ReadAlone(std::string_view line) {
    std::vector<std::string> ignored;
    const std::vector<KeyMap::Line> lines = KeyMap::Parse(line, "", ignored).Lines();
    if (lines.size() != 1) {
        return std::nullopt;
    }
    return lines.front();
}

// The built-in bindings' rows: each a line of the file (marked so among fileRows), or
// overridden by a line of the defaults, or left out.
std::vector<KeyMapDocument::Row> BuiltInRows(std::vector<KeyMapDocument::Row>& fileRows) {
    using Row = KeyMapDocument::Row;
    using BuiltIn = KeyMapDocument::BuiltIn;
    std::vector<Row> builtIn;
    for (const KeyMap::Line& standard : KeyMap::Standard().Lines()) {
        bool same = false;
        bool overridden = false;
        for (Row& row : fileRows) {
            if (!row.binding || row.section != KeySection{} || row.binding->kind != standard.kind) {
                continue;
            }
            if (SameBinding(*row.binding, standard)) {
                row.builtIn = BuiltIn::Same;
                same = true;
            }
            overridden =
                overridden ||
                std::any_of(standard.keys.begin(), standard.keys.end(), [&](const Key& key) {
                    return std::find(row.binding->keys.begin(), row.binding->keys.end(), key) !=
                           row.binding->keys.end();
                });
        }
        if (!same) {
            Row row;
            row.binding = standard;
            row.keys = Spelled(standard.keys, {});
            row.text = KeyMap::LineText(standard);
            row.builtIn = overridden ? BuiltIn::Overridden : BuiltIn::Left;
            builtIn.push_back(std::move(row));
        }
    }
    return builtIn;
}

}  // namespace

KeyMapDocument::KeyMapDocument(std::string_view text, std::string source, KeyMap::RunCheck checkRun)
    : original_(text), source_(std::move(source)), checkRun_(std::move(checkRun)) {
    std::size_t crs = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines_.emplace_back(text.substr(0, end));
        crs += lines_.back().ends_with('\r') ? 1 : 0;
        finalLineEnd_ = end != std::string_view::npos;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    lineEnd_ = crs * 2 > lines_.size() ? "\r" : "";
    Judge();
}

std::string KeyMapDocument::RowBinding(const KeyMap::Line& binding, std::string previous) const {
    for (const Row& row : rows_) {
        if (row.line >= 0 && row.binding &&
            KeyMap::LineText(*row.binding) == KeyMap::LineText(binding)) {
            previous = row.text;
        }
    }
    return previous;
}

std::string KeyMapDocument::Text() const {
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || finalLineEnd_) {
            text += '\n';
        }
    }
    return text;
}

std::vector<KeySection> KeyMapDocument::SectionOfLines() const {
    std::vector<KeySection> sections;
    KeySection section;
    for (const std::string& line : lines_) {
        if (KindOf(line) == LineKind::Header) {
            KeySection read;
            if (ParseSection(Trimmed(line), read).empty()) {
                section = read;
            }
        }
        sections.push_back(section);
    }
    return sections;
}

void KeyMapDocument::Judge() {
    problems_.clear();
    map_ = KeyMap::Parse(Text(), source_, problems_, checkRun_);
    // The reader's words for each line, from its "source:LINE: what".
    std::map<int, std::string> said;
    const std::string prefix = UntrustedText(source_) + ":";
    for (const std::string& problem : problems_) {
        if (!problem.starts_with(prefix)) {
            continue;
        }
        const auto colon = problem.find(": ", prefix.size());
        if (colon == std::string::npos) {
            continue;
        }
        const int number = std::atoi(problem.c_str() + prefix.size());
        std::string& words = said[number - 1];
        words += (words.empty() ? "" : "; ") + problem.substr(colon + 2);
    }

    const std::vector<KeySection> sectionOf = SectionOfLines();
    sections_ = {KeySection{}};
    std::vector<Row> fileRows;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineKind kind = KindOf(lines_[i]);
        if (kind == LineKind::Header &&
            std::find(sections_.begin(), sections_.end(), sectionOf[i]) == sections_.end()) {
            sections_.push_back(sectionOf[i]);
        }
        if (kind != LineKind::Binding) {
            continue;
        }
        Row row;
        row.line = static_cast<int>(i);
        row.section = sectionOf[i];
        row.binding = ReadAlone(lines_[i]);
        if (row.binding) {
            row.binding->section = row.section;
            row.keys = Spelled(row.binding->keys, KeySpellings(KeyListOf(lines_[i])));
        }
        row.text = std::string(Trimmed(lines_[i]));
        if (const auto found = said.find(static_cast<int>(i)); found != said.end()) {
            row.problem = found->second;
        }
        fileRows.push_back(std::move(row));
    }

    const std::vector<Row> builtIn = BuiltInRows(fileRows);

    rows_.clear();
    for (const KeySection& section : sections_) {
        for (const Row& row : fileRows) {
            if (row.section == section) {
                rows_.push_back(row);
            }
        }
    }
    rows_.insert(rows_.end(), builtIn.begin(), builtIn.end());
}

std::string KeyMapDocument::LineFor(const KeyMap::Line& binding,
                                    const std::map<Key, std::string>& spelling,
                                    std::string& line) const {
    if (binding.keys.empty()) {
        return "a binding needs a key";
    }
    if (binding.binding && binding.binding->command.find_first_of("\r\n") != std::string::npos) {
        return "a command is one line";
    }
    line = KeyMap::LineText(binding);
    // The writer's keys, after the first word and its blanks, respelled.
    std::string keys;
    for (const std::string& key : Spelled(binding.keys, spelling)) {
        keys += (keys.empty() ? "" : ",") + key;
    }
    line.replace(line.find_first_not_of(' ', line.find(' ')), KeyListText(binding.keys).size(),
                 keys);
    // A line the reader refuses is written, its problem shown; one it would read as
    // something else is not, since nothing would say so.
    std::vector<std::string> problems;
    const KeyMap read = KeyMap::Parse(line, "", problems);
    const std::vector<KeyMap::Line> lines = read.Lines();
    if (problems.empty() && (lines.size() != 1 || !SameBinding(lines.front(), binding))) {
        return "it would be read back as \"" +
               (lines.size() == 1 ? KeyMap::LineText(lines.front()) : std::string()) + "\"";
    }
    return {};
}

std::size_t KeyMapDocument::EndOf(const KeySection& section) const {
    const std::vector<KeySection> sectionOf = SectionOfLines();
    std::size_t lastHeader = std::string::npos;
    std::size_t lastBinding = std::string::npos;
    std::size_t firstHeader = lines_.size();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineKind kind = KindOf(lines_[i]);
        if (kind == LineKind::Header) {
            firstHeader = std::min(firstHeader, i);
        }
        if (sectionOf[i] != section) {
            continue;
        }
        if (kind == LineKind::Header) {
            lastHeader = i;
        } else if (kind == LineKind::Binding && (section != KeySection{} || i < firstHeader)) {
            lastBinding = i;
        }
    }
    if (lastBinding != std::string::npos) {
        return lastBinding + 1;
    }
    if (section != KeySection{}) {
        return lastHeader == std::string::npos ? std::string::npos : lastHeader + 1;
    }
    // No default yet: after the comments that open the file, before the blank line that
    // parts them from the first section.
    std::size_t at = firstHeader;
    while (at > 0 && Trimmed(lines_[at - 1]).empty()) {
        --at;
    }
    return at == 0 || firstHeader == lines_.size() ? firstHeader : at;
}

void KeyMapDocument::Insert(std::size_t at, std::string line) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::string KeyMapDocument::Add(const KeyMap::Line& binding, std::string_view spelling) {
    std::string line;
    if (std::string why = LineFor(binding, KeySpellings(spelling), line); !why.empty()) {
        return why;
    }
    if (EndOf(binding.section) == std::string::npos) {
        if (std::string why = AddSection(binding.section); !why.empty()) {
            return why;
        }
    }
    Insert(EndOf(binding.section), line + lineEnd_);
    Judge();
    return {};
}

std::string KeyMapDocument::Change(int line, const KeyMap::Line& binding,
                                   std::string_view spelling) {
    if (line < 0 || static_cast<std::size_t>(line) >= lines_.size() ||
        KindOf(lines_[static_cast<std::size_t>(line)]) != LineKind::Binding) {
        return "there is no binding on that line";
    }
    const std::size_t at = static_cast<std::size_t>(line);
    std::map<Key, std::string> spelled = KeySpellings(spelling);
    spelled.merge(KeySpellings(KeyListOf(lines_[at])));  // what was typed comes first
    std::string text;
    if (std::string why = LineFor(binding, spelled, text); !why.empty()) {
        return why;
    }
    // The line's indent and its comment stay with it.
    const std::string_view old = lines_[at];
    const std::string_view trimmed = Trimmed(old);
    const std::string_view kept = WithoutComment(trimmed);
    const std::string indent(old.substr(0, old.find_first_not_of(Blanks)));
    const std::string comment(kept.size() < trimmed.size()
                                  ? "  " + std::string(Trimmed(trimmed.substr(kept.size())))
                                  : "");
    const std::string end = old.ends_with('\r') ? "\r" : "";
    text = indent + text + comment + end;
    if (SectionOfLines()[at] == binding.section) {
        lines_[at] = std::move(text);
        Judge();
        return {};
    }
    const std::vector<std::string> before = lines_;
    lines_.erase(lines_.begin() + line);
    if (EndOf(binding.section) == std::string::npos) {
        if (std::string why = AddSection(binding.section); !why.empty()) {
            lines_ = before;
            return why;
        }
    }
    Insert(EndOf(binding.section), std::move(text));
    Judge();
    return {};
}

std::string KeyMapDocument::Remove(int line) {
    if (line < 0 || static_cast<std::size_t>(line) >= lines_.size() ||
        KindOf(lines_[static_cast<std::size_t>(line)]) != LineKind::Binding) {
        return "there is no binding on that line";
    }
    lines_.erase(lines_.begin() + line);
    Judge();
    return {};
}

std::string KeyMapDocument::AddSection(const KeySection& section) {
    const std::string header = SectionHeader(section);
    KeySection read;
    if (header.empty()) {
        return "the defaults are always there";
    }
    if (std::string why = ParseSection(header, read); !why.empty() || read != section) {
        return why.empty() ? "\"" + UntrustedText(header) + "\" would be read otherwise" : why;
    }
    if (std::find(sections_.begin(), sections_.end(), section) != sections_.end()) {
        return "there is a " + header + " section already";
    }
    if (!lines_.empty() && !Trimmed(lines_.back()).empty()) {
        lines_.push_back(lineEnd_);
    }
    lines_.push_back(header + lineEnd_);
    finalLineEnd_ = true;
    Judge();
    return {};
}

std::string KeyMapDocument::RemoveSection(const KeySection& section) {
    if (section == KeySection{}) {
        return "the defaults are always there";
    }
    bool found = false;
    // From the last header up, so the lines before each stay where they are.
    for (std::size_t i = lines_.size(); i-- > 0;) {
        KeySection read;
        if (KindOf(lines_[i]) != LineKind::Header ||
            !ParseSection(Trimmed(lines_[i]), read).empty() || read != section) {
            continue;
        }
        found = true;
        std::size_t end = i + 1;  // past the last binding under it
        std::size_t next = i + 1;
        for (; next < lines_.size() && KindOf(lines_[next]) != LineKind::Header; ++next) {
            if (KindOf(lines_[next]) == LineKind::Binding) {
                end = next + 1;
            }
        }
        std::size_t begin = i;
        if (next == lines_.size() && end == lines_.size()) {
            // The last section: the blank lines that parted it from the one before go too.
            while (begin > 0 && Trimmed(lines_[begin - 1]).empty()) {
                --begin;
            }
        }
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(begin),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
        i = begin;  // on from the line before what went, never past the end
    }
    if (!found) {
        return "there is no " + SectionHeader(section) + " section";
    }
    Judge();
    return {};
}
