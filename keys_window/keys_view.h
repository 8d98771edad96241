#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "actions/player_action.h"
#include "keymap/key_map.h"
#include "receiver/key_capture.h"

// What the keys window's presenter (KeysPresenter) needs of a window, on either toolkit:
// its fields set and read, its table filled, a line said, a question asked. The window
// holds only its widgets, and tells the presenter of each thing the user does. Used on
// the UI thread.
class KeysView {
  public:
    // The action box's choice for "nothing"; the others are PlayerAction's numbers.
    static constexpr int NothingChoice = static_cast<int>(LastAction) + 1;
    // The numbers' ranges, beside HoldShape's.
    static constexpr int LongestSeek = 3600;
    static constexpr int LongestModeTimeout = 86400;
    static constexpr int LongestGap = 5000;
    // The table's columns.
    enum Column { KeyColumn, GestureColumn, ActionColumn, OptionsColumn, NoteColumn, Columns };

    // What the fields say, as the user left them; the numbers within their ranges.
    struct Fields {
        std::string keys;  // as typed: "0x60,KEY_RED"
        KeyMap::Kind gesture = KeyMap::Kind::Press;
        int action = 0;  // the action box's choice
        int seconds = DefaultSeekSeconds;
        std::string command;
        std::string mode;
        int timeout = 0;
        int delayMs = 0;
        int gapMs = KeyMap::DefaultGapMs;
        int every = 1;
        bool once = false;
        bool accel = false;
        std::string section;  // the section box's text: "Defaults", or a header
    };
    // Which fields the gesture and the action need shown (the others are hidden).
    struct Needed {
        bool seconds = false;
        bool command = false;
        bool mode = false;  // and its time-out
        bool delay = false;
        bool gap = false;
        bool hold = false;  // every, once a hold, accelerate
    };
    // A line of the table: a section's heading (row -1, its title the first text), or a
    // row of the document's (its index in Rows()) with its columns' texts.
    struct TableLine {
        int row = -1;
        std::array<std::string, Columns> texts;
        std::string tip;       // a heading's explanation; a row's whole note
        bool mistake = false;  // its note says what is wrong with it
    };
    enum class Said { Prompt, WhyNot };
    enum class Answer { Yes, No, Cancel };

    virtual ~KeysView() = default;

    virtual Fields ReadFields() const = 0;
    virtual void SetFields(const Fields& fields) = 0;
    virtual void ShowNeeded(const Needed& needed) = 0;
    // The section box's and the mode box's choices (the mode's first is empty: no mode); a
    // choice shown stays, where it still is one.
    virtual void SetChoices(const std::vector<std::string>& sections,
                            const std::vector<std::string>& modes) = 0;
    // The search box's text.
    virtual std::string Search() const = 0;
    // The table, the line of row selected (none: -1) and shown.
    virtual void FillTable(const std::vector<TableLine>& lines, int selected) = 0;
    // The document row selected in the table; -1 for a heading or none.
    virtual int SelectedRow() const = 0;
    // Why the map is read only ("Read only: …", editing then off), and whether Learn… works.
    virtual void Allow(const std::string& readOnly, bool learning) = 0;
    // The map's mistakes, shown above the fields; empty: hidden.
    virtual void ShowMistakes(const std::string& text) = 0;
    // A line below the fields; empty: hidden.
    virtual void Say(Said line, const std::string& text) = 0;
    // A question with Yes and No (and Cancel, with cancel), over the window.
    virtual Answer Ask(const std::string& question, bool cancel) = 0;
    virtual void Warn(const std::string& warning) = 0;
    // The conditions of a section to add, as the user gives them ("player=vlc"); none when
    // they give none.
    virtual std::optional<std::string> NewSection() = 0;
    // What the capture calls, on the receiver thread, once it has taken a key: it only
    // tells the window (which then calls KeysPresenter::TakeLearnt), never waits.
    virtual KeyCapture::Handler LearntHandler() = 0;
    // Closes the window as its close box does (KeysPresenter::MayClose first).
    virtual void Close() = 0;
};
