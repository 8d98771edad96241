#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keymap/key_map.h"

// A key map file's text as a keys window edits it: every line kept as it was read, its
// comments and order, and a row for each binding. An edit rewrites only the lines it
// changes (a line changed, added at the end of its section, or removed; a section's header
// added or removed), so every other line stays byte for byte. Mistakes are the map
// reader's own (KeyMap::Parse over the whole text, with the run check given), each shown
// on the row of its line. Plain data: no file is read or written here (KeyMapEditor does
// that), and it is used on one thread.
class KeyMapDocument {
  public:
    // How a row stands to the built-in map (KeyMap::Standard).
    enum class BuiltIn {
        No,
        Same,        // a line of the file binding what the built-in map binds
        Overridden,  // a built-in binding whose key a line of the defaults binds otherwise
        Left,        // a built-in binding the file leaves out: a file is the whole map
    };

    struct Row {
        int line = -1;  // the index of its line in Lines(); -1 for a built-in binding alone
        KeySection section;
        // What it binds; none when its line does not read (its problem says why).
        std::optional<KeyMap::Line> binding;
        // Its keys, each as the file spells it ("0x60", not 96; "\"ch/up\"" in quotes), in
        // the order of binding's; a built-in row's as the writer spells them.
        std::vector<std::string> keys;
        std::string text;     // the line as written, without blanks around it
        std::string problem;  // what the map reader says of its line; empty when nothing
        BuiltIn builtIn = BuiltIn::No;
    };

    // text is the file's, decoded (DecodeText); source names it in problems, as the
    // reader does ("keys.conf:3: what"). checkRun judges each run command as the reader
    // does where the file is loaded.
    KeyMapDocument(std::string_view text, std::string source, KeyMap::RunCheck checkRun = {});

    // The text now: the lines read, with the edits made.
    std::string Text() const;
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Modified() const { return Text() != original_; }

    // Every binding, grouped as the file is: the defaults, then each section as it first
    // comes, each in the order of its lines; then the built-in bindings the file does not
    // have as they are (line -1). Comments, blank lines and headers are no rows.
    const std::vector<Row>& Rows() const { return rows_; }
    // The row a window selects once an edit is made: the text of the file's row that binds
    // what binding says, where the edit put it; else previous.
    std::string RowBinding(const KeyMap::Line& binding, std::string previous) const;
    // The defaults, then each section in the order its header first comes.
    const std::vector<KeySection>& Sections() const { return sections_; }
    // Every problem of the text as the reader words it, "source:LINE: what".
    const std::vector<std::string>& Problems() const { return problems_; }
    // The map the text makes, as the reader makes it.
    const KeyMap& Map() const { return map_; }

    // Each edit: empty when made, else why not (and nothing changes). A binding the reader
    // refuses (a mode no section has, a run command the platform would refuse) is written,
    // its problem shown on its row; one that would read back as something else than what
    // was asked (a line end in a command, a "#" that starts a word in one) is not. A key
    // is written as spelling (a key list as the user typed it, "0x60,KEY_RED") spells it,
    // else as the line changed spelled it, else as the writer does (96).
    // Adds binding as a line at the end of its section (the section added when missing).
    std::string Add(const KeyMap::Line& binding, std::string_view spelling = {});
    // Rewrites the binding on line; in another section, moves it there.
    std::string Change(int line, const KeyMap::Line& binding, std::string_view spelling = {});
    std::string Remove(int line);
    // Adds a section's header at the end of the text.
    std::string AddSection(const KeySection& section);
    // Removes each header of section with the lines under it, up to the last binding there
    // (what follows it, before the next header, is taken to belong to that header).
    std::string RemoveSection(const KeySection& section);

    // Whether row is found by search: the words of its key, gesture, action and options,
    // and what the history shows for it, case aside (ASCII). An empty search finds all.
    static bool Matches(const Row& row, std::string_view search);
    // What a row shows, in the file's words: the keys (as the file spells them, joined by
    // between: ", " for the eye, "," as a line writes them), the gesture, the action with
    // its argument, and its options.
    static std::string KeysText(const Row& row, std::string_view between = ", ");
    static std::string_view GestureText(KeyMap::Kind kind);
    static std::string ActionWords(const KeyMap::Line& binding);
    static std::string OptionsText(const KeyMap::Line& binding);
    // A row's note: its problem, else what it is to the built-in map (empty: nothing).
    static std::string NoteText(const Row& row);

  private:
    // Judges the text again: problems, rows and sections.
    void Judge();
    // The line binding is written as, its keys spelled as spelling has them (by key), or
    // why it cannot be.
    std::string LineFor(const KeyMap::Line& binding, const std::map<Key, std::string>& spelling,
                        std::string& line) const;
    // Where a new line of section goes: after its last binding, else after its last
    // header; before the first header for the defaults; npos when section has no header.
    std::size_t EndOf(const KeySection& section) const;
    // The section each line is under (the one before any header for the defaults).
    std::vector<KeySection> SectionOfLines() const;
    void Insert(std::size_t at, std::string line);

    std::vector<std::string> lines_;  // each without its "\n" (a CR LF file's keep their CR)
    bool finalLineEnd_ = true;        // whether the text ends with a line end
    std::string lineEnd_;             // what ends a new line before its "\n": "\r" or none
    std::string original_;
    std::string source_;
    KeyMap::RunCheck checkRun_;
    KeyMap map_;
    std::vector<Row> rows_;
    std::vector<KeySection> sections_;
    std::vector<std::string> problems_;
};
