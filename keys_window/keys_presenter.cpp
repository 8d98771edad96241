#include "keys_window/keys_presenter.h"

#include <algorithm>

#include "keymap/key_list_text.h"
#include "keymap/key_map_words.h"
#include "keys_window/binding_fields.h"
#include "keys_window/keys_window_log.h"
#include "platform/utf8_path.h"

namespace {

using Answer = KeysView::Answer;
using Row = KeyMapDocument::Row;
using Said = KeysView::Said;
using binding_fields::SectionOf;
using binding_fields::SectionTitle;

// While it lives, what the view tells the presenter comes of the presenter's own changes to
// it, not of the user's doing, and is passed over.
class Quiet {
  public:
    explicit Quiet(bool& quiet) : quiet_(quiet), was_(quiet) { quiet_ = true; }
    ~Quiet() { quiet_ = was_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

  private:
    bool& quiet_;
    bool was_;
};

}  // namespace

KeysPresenter::KeysPresenter(KeysView& view, KeysWindowSetup setup)
    : view_(view), setup_(std::move(setup)), editor_(setup_.keysOption) {}

KeysPresenter::~KeysPresenter() {
    // The receiver holds no handler of a window gone.
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
}

std::optional<WindowSize> KeysPresenter::KeptSize() const {
    return setup_.statePath.empty() ? std::nullopt : ReadKeysWindowSize(setup_.statePath);
}

void KeysPresenter::Start() {
    const std::string& why = editor_.ReadOnlyWhy();
    view_.Allow(why.empty() ? "" : "Read only: " + why, why.empty() && setup_.capture != nullptr);
    Fill({});
    ShowNeeded();
    view_.Say(Said::Prompt, {});
    view_.Say(Said::WhyNot, {});
    baseline_ = FieldsText();
}

const Row* KeysPresenter::Selected() const {
    const auto& rows = editor_.Document().Rows();
    const int index = view_.SelectedRow();
    return index >= 0 && static_cast<std::size_t>(index) < rows.size()
               ? &rows[static_cast<std::size_t>(index)]
               : nullptr;
}

KeyMap::Line KeysPresenter::FieldsBinding(std::string& why) const {
    return binding_fields::BindingOf(view_.ReadFields(), why);
}

std::string KeysPresenter::FieldsText() const {
    std::string why;
    const KeyMap::Line line = FieldsBinding(why);
    return why.empty() ? SectionHeader(line.section) + "\n" + KeyMap::LineText(line) : "";
}

std::optional<KeyMap::Line> KeysPresenter::Pending() const {
    if (const std::string text = FieldsText(); text.empty() || text == baseline_) {
        return std::nullopt;
    }
    std::string why;
    const KeyMap::Line line = FieldsBinding(why);
    for (const Row& row : editor_.Document().Rows()) {
        if (row.line >= 0 && row.binding && row.section == line.section &&
            KeyMap::LineText(*row.binding) == KeyMap::LineText(line)) {
            return std::nullopt;
        }
    }
    return line;
}

void KeysPresenter::Fill(const std::string& selected) {
    const KeyMapDocument& document = editor_.Document();
    std::vector<std::string> sections;
    std::vector<std::string> modes = {""};
    for (const KeySection& section : document.Sections()) {
        sections.push_back(SectionTitle(section));
        if (!section.mode.empty() &&
            std::find(modes.begin(), modes.end(), section.mode) == modes.end()) {
            modes.push_back(section.mode);
        }
    }
    std::string problems;
    for (const std::string& problem : editor_.Problems()) {
        problems += "\n" + problem;
    }
    int row = -1;
    for (std::size_t i = 0; i < document.Rows().size(); ++i) {
        if (document.Rows()[i].line >= 0 && document.Rows()[i].text == selected) {
            row = static_cast<int>(i);
        }
    }
    const Quiet quiet(quiet_);
    view_.SetChoices(sections, modes);
    view_.ShowMistakes(problems.empty() || !editor_.ReadOnlyWhy().empty()
                           ? ""
                           : "Not saved while the map has mistakes:" + problems);
    ShowTable(row);
}

void KeysPresenter::ShowTable(int selected) {
    const Quiet quiet(quiet_);
    view_.FillTable(
        binding_fields::TableOf(editor_.Document(), key_map_words::Trimmed(view_.Search())),
        selected);
}

void KeysPresenter::ShowNeeded() {
    view_.ShowNeeded(binding_fields::NeededBy(view_.ReadFields()));
}

void KeysPresenter::RowChosen() {
    const Row* row = Selected();
    if (quiet_ || row == nullptr || !row->binding) {
        return;
    }
    {
        const Quiet quiet(quiet_);
        view_.SetFields(binding_fields::WithRow(view_.ReadFields(), *row));
    }
    view_.Say(Said::WhyNot, {});
    ShowNeeded();
    baseline_ = FieldsText();
}

void KeysPresenter::SearchChanged() {
    if (!quiet_) {
        ShowTable(view_.SelectedRow());
    }
}

void KeysPresenter::GestureChosen() {
    if (quiet_) {
        return;
    }
    if (KeysView::Fields fields = view_.ReadFields();
        fields.gesture == KeyMap::Kind::Long && fields.delayMs == 0) {
        fields.delayMs = KeyMap::DefaultLongDelayMs;
        const Quiet quiet(quiet_);
        view_.SetFields(fields);
    }
    ShowNeeded();
}

void KeysPresenter::ActionChosen() {
    if (!quiet_) {
        ShowNeeded();
    }
}

bool KeysPresenter::Edit(const std::function<std::string()>& edit) {
    const Row* row = Selected();
    const std::string selected = row != nullptr ? row->text : std::string();
    const std::string why = edit();
    view_.Say(Said::WhyNot, why);
    if (!why.empty()) {
        return false;
    }
    // The binding the fields say is selected where it went; else the row that was.
    std::string unread;
    const KeyMap::Line fields = FieldsBinding(unread);
    Fill(unread.empty() ? editor_.Document().RowBinding(fields, selected) : selected);
    baseline_ = FieldsText();
    return true;
}

void KeysPresenter::Add() {
    std::string why;
    const KeyMap::Line binding = FieldsBinding(why);
    const std::string keys = view_.ReadFields().keys;
    Edit([&] { return why.empty() ? editor_.Document().Add(binding, keys) : why; });
}

void KeysPresenter::Change() {
    std::string why;
    const KeyMap::Line binding = FieldsBinding(why);
    const std::string keys = view_.ReadFields().keys;
    const Row* row = Selected();
    Edit([&] {
        return !why.empty()     ? why
               : row == nullptr ? std::string("choose a binding in the table first")
               : row->line < 0  ? editor_.Document().Add(binding, keys)  // overrides the built-in
                                : editor_.Document().Change(row->line, binding, keys);
    });
}

void KeysPresenter::Move() {
    const Row* row = Selected();
    KeySection section;
    const std::string why = SectionOf(view_.ReadFields().section, section);
    Edit([&] {
        if (row == nullptr || row->line < 0 || !row->binding) {
            return std::string("choose a binding of the file in the table first");
        }
        KeyMap::Line moved = *row->binding;
        moved.section = section;
        return why.empty() ? editor_.Document().Change(row->line, moved) : why;
    });
}

void KeysPresenter::Remove() {
    const Row* row = Selected();
    Edit([&] {
        return row == nullptr || row->line < 0
                   ? std::string("choose a binding of the file in the table first")
                   : editor_.Document().Remove(row->line);
    });
}

void KeysPresenter::AddSection() {
    const std::optional<std::string> text = view_.NewSection();
    if (!text) {
        return;
    }
    KeySection section;
    const std::string why = SectionOf(*text, section);
    if (Edit([&] { return why.empty() ? editor_.Document().AddSection(section) : why; })) {
        KeysView::Fields fields = view_.ReadFields();
        fields.section = SectionTitle(section);
        const Quiet quiet(quiet_);
        view_.SetFields(fields);
    }
}

void KeysPresenter::RemoveSection() {
    KeysView::Fields fields = view_.ReadFields();
    KeySection section;
    const std::string why = SectionOf(fields.section, section);
    if (Edit([&] {
            return !why.empty()              ? why
                   : section == KeySection{} ? "choose a section other than the defaults first"
                                             : editor_.Document().RemoveSection(section);
        })) {
        fields.section = SectionTitle({});
        const Quiet quiet(quiet_);
        view_.SetFields(fields);
    }
}

void KeysPresenter::Learn() {
    if (setup_.capture == nullptr) {
        return;
    }
    if (!recorder_.Listening()) {
        recorder_.Start();
    }
    // Disarm, at the latest in the destructor, ends the handler's calls.
    setup_.capture->Arm(view_.LearntHandler());
    view_.Say(Said::Prompt, recorder_.Prompt());
}

void KeysPresenter::TakeLearnt() {
    if (setup_.capture == nullptr) {
        return;
    }
    if (const std::optional<Key> key = setup_.capture->Collect()) {
        Took(*key);
    }
}

void KeysPresenter::Took(const Key& key) {
    if (!recorder_.Listening()) {
        return;
    }
    recorder_.Took(key);
    if (recorder_.Listening()) {
        Learn();
        return;
    }
    if (recorder_.Current() == KeyRecorder::Step::Both) {
        recorder_.Answer(view_.Ask(recorder_.Prompt(), false) == Answer::Yes);
    }
    StopLearning(false);
}

void KeysPresenter::StopLearning(bool cancel) {
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
    if (cancel) {
        recorder_.Cancel();
    }
    if (recorder_.Current() == KeyRecorder::Step::Done) {
        KeysView::Fields fields = view_.ReadFields();
        fields.keys = KeyListText(recorder_.Keys());
        const Quiet quiet(quiet_);
        view_.SetFields(fields);
    }
    view_.Say(Said::Prompt, recorder_.Prompt());
}

void KeysPresenter::Escape() {
    if (recorder_.Listening()) {
        StopLearning(true);
    } else {
        view_.Close();
    }
}

bool KeysPresenter::Write() {
    const std::string file = Utf8FromPath(editor_.Path());
    KeyMapEditor::Overwrite overwrite;
    for (;;) {
        std::string why;
        std::string question;
        switch (editor_.Save(overwrite, why)) {
            case KeyMapEditor::Saved::Written:
                if (setup_.reload && !setup_.reload()) {
                    view_.Warn(
                        "Saved, but the map was not put in force: the program's log says "
                        "why.");
                }
                return true;
            case KeyMapEditor::Saved::Unchanged:
                return true;
            case KeyMapEditor::Saved::Refused:
                view_.Warn("Not saved: " + why);
                return false;
            case KeyMapEditor::Saved::ChangedOnDisk:
                question = file +
                           " was changed since this window read it (in an editor, or by another "
                           "Quorvel). Write this window's map over it? What is there now is kept "
                           "as a backup.";
                overwrite.changed = true;
                break;
            case KeyMapEditor::Saved::Removed:
                question = file +
                           " was removed since this window read it, or its folder was. Write "
                           "this window's map there?";
                overwrite.changed = true;
                break;
            case KeyMapEditor::Saved::ReadOnly:
                question = file +
                           " is read-only. Write this window's map over it all the same? It "
                           "stays read-only, and what is there now is kept as a backup.";
                overwrite.readOnly = true;
                break;
        }
        if (view_.Ask(question, false) != Answer::Yes) {
            return false;
        }
    }
}

void KeysPresenter::Save() {
    if (const std::optional<KeyMap::Line> pending = Pending()) {
        const Answer answer = view_.Ask(
            "The fields hold a binding that was never added: \"" + KeyMap::LineText(*pending) +
                "\"" +
                (pending->section == KeySection{} ? "" : " in " + SectionHeader(pending->section)) +
                ". Add it to the map before saving?",
            true);
        const std::string keys = view_.ReadFields().keys;
        if (answer == Answer::Cancel || (answer == Answer::Yes && !Edit([&] {
                                             return editor_.Document().Add(*pending, keys);
                                         }))) {
            return;
        }
    }
    if (Write()) {
        leaving_ = true;
        view_.Close();
    }
}

bool KeysPresenter::MayClose() {
    if (leaving_ || (!editor_.Document().Modified() && !Pending())) {
        return true;
    }
    return view_.Ask("Close without saving? What was changed in this window is lost.", false) ==
           Answer::Yes;
}

void KeysPresenter::Closing(WindowSize size) {
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
    if (!setup_.statePath.empty()) {
        std::string problem;
        if (!SaveKeysWindowSize(setup_.statePath, size, problem)) {
            QUORVEL_WARNING(lcKeysWindow) << "keys window: its size is not kept: " << problem;
        }
    }
}
