#include "qt_app/keys_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "hid/media_keys.h"
#include "keymap/key_list_text.h"
#include "keymap/key_map_words.h"
#include "keys_window/window_state.h"
#include "program/app_log.h"

namespace {

const QString Title = QStringLiteral("Quorvel keys");
constexpr int RowRole = Qt::UserRole;
constexpr int NothingAction = -1;
constexpr int LongestSeek = 3600;
constexpr int LongestModeTimeout = 86400;
enum Column { KeyColumn, GestureColumn, ActionColumn, OptionsColumn, NoteColumn };

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString SectionTitle(const KeySection& section) {
    return section == KeySection{} ? QStringLiteral("Defaults") : Text(SectionHeader(section));
}

// A control with the accessible name a screen reader says for it.
template <typename Widget>
Widget* Named(Widget* widget, const QString& name) {
    widget->setObjectName(name);
    widget->setAccessibleName(name);
    return widget;
}

QSpinBox* SpinBox(const QString& name, int low, int high, const QString& suffix = {}) {
    auto* box = Named(new QSpinBox, name);
    box->setRange(low, high);
    box->setSuffix(suffix);
    return box;
}

}  // namespace

KeysWindow::KeysWindow(Setup setup, QWidget* parent)
    : QWidget(parent, Qt::Window), setup_(std::move(setup)), editor_(setup_.keysOption) {
    setWindowTitle(Title);
    setObjectName(QStringLiteral("KeysWindow"));
    auto* layout = new QVBoxLayout(this);

    readOnly_ = Named(new QLabel, QStringLiteral("Read only"));
    readOnly_->setWordWrap(true);
    readOnly_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(readOnly_);

    search_ = Named(new QLineEdit, QStringLiteral("Search"));
    search_->setPlaceholderText(QStringLiteral("Search keys and actions"));
    search_->setClearButtonEnabled(true);
    layout->addWidget(search_);

    table_ = Named(new QTreeWidget, QStringLiteral("Bindings"));
    table_->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Gesture"),
                             QStringLiteral("Action"), QStringLiteral("Options"),
                             QStringLiteral("Note")});
    table_->setRootIsDecorated(false);
    table_->setUniformRowHeights(true);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->header()->setSectionResizeMode(ActionColumn, QHeaderView::Stretch);
    table_->header()->setStretchLastSection(false);
    layout->addWidget(table_, 1);

    fileProblems_ = Named(new QLabel, QStringLiteral("Mistakes"));
    fileProblems_->setWordWrap(true);
    fileProblems_->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                           Qt::TextSelectableByKeyboard);
    layout->addWidget(fileProblems_);

    auto* fields = new QWidget;
    form_ = new QFormLayout(fields);
    form_->setContentsMargins(0, 0, 0, 0);
    key_ = Named(new QComboBox, QStringLiteral("Key"));
    key_->setEditable(true);
    key_->setInsertPolicy(QComboBox::NoInsert);
    key_->setToolTip(QStringLiteral(
        "A kernel key name (KEY_PLAYPAUSE; tv:KEY_OK for lircd's remote tv), a byte code "
        "(0 to 255, or 0x00 to 0xff) or scan: and a scancode; several joined by commas"));
    std::set<std::string_view> names;
    for (const MediaKey& media : MediaKeys) {
        names.insert(media.name);
    }
    for (const std::string_view name : names) {
        key_->addItem(Text(name));
    }
    key_->setCurrentIndex(-1);
    learn_ = Named(new QPushButton(QStringLiteral("&Learn…")), QStringLiteral("Learn…"));
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(key_, 1);
    keyRow->addWidget(learn_);
    auto* keyLabel = new QLabel(QStringLiteral("&Key:"));
    keyLabel->setBuddy(key_);
    form_->addRow(keyLabel, keyRow);
    prompt_ = Named(new QLabel, QStringLiteral("Learning"));
    prompt_->setWordWrap(true);
    form_->addRow(prompt_);

    gesture_ = Named(new QComboBox, QStringLiteral("Gesture"));
    for (const KeyMap::Kind kind :
         {KeyMap::Kind::Press, KeyMap::Kind::Held, KeyMap::Kind::Double, KeyMap::Kind::Long}) {
        gesture_->addItem(Text(KeyMapDocument::GestureText(kind)), static_cast<int>(kind));
    }
    form_->addRow(QStringLiteral("&Gesture:"), gesture_);
    action_ = Named(new QComboBox, QStringLiteral("Action"));
    for (int i = 0; i <= static_cast<int>(LastAction); ++i) {
        action_->addItem(Text(ActionName(static_cast<PlayerAction>(i))), i);
    }
    action_->addItem(Text(key_map_words::Nothing), NothingAction);
    form_->addRow(QStringLiteral("&Action:"), action_);
    seconds_ = SpinBox(QStringLiteral("Seconds"), 1, LongestSeek, QStringLiteral(" s"));
    seconds_->setValue(DefaultSeekSeconds);
    form_->addRow(QStringLiteral("Seco&nds:"), seconds_);
    command_ = Named(new QLineEdit, QStringLiteral("Command"));
    form_->addRow(QStringLiteral("&Command:"), command_);
    mode_ = Named(new QComboBox, QStringLiteral("Mode"));
    mode_->setEditable(true);
    mode_->setToolTip(QStringLiteral("Empty: back to no mode"));
    form_->addRow(QStringLiteral("&Mode:"), mode_);
    timeout_ = SpinBox(QStringLiteral("Time-out"), 0, LongestModeTimeout, QStringLiteral(" s"));
    timeout_->setSpecialValueText(QStringLiteral("none"));
    form_->addRow(QStringLiteral("&Time-out:"), timeout_);
    delay_ = SpinBox(QStringLiteral("Delay"), 0, HoldShape::LongestDelayMs, QStringLiteral(" ms"));
    form_->addRow(QStringLiteral("Dela&y:"), delay_);
    gap_ = SpinBox(QStringLiteral("Gap"), 1, 5000, QStringLiteral(" ms"));
    gap_->setValue(KeyMap::DefaultGapMs);
    form_->addRow(QStringLiteral("Ga&p:"), gap_);
    every_ = SpinBox(QStringLiteral("Every"), 1, HoldShape::LargestEvery);
    form_->addRow(QStringLiteral("&Every:"), every_);
    once_ = Named(new QCheckBox(QStringLiteral("&Once a hold")), QStringLiteral("Once"));
    accel_ = Named(new QCheckBox(QStringLiteral("Accelerate")), QStringLiteral("Accelerate"));
    checks_ = new QWidget;
    auto* checks = new QHBoxLayout(checks_);
    checks->setContentsMargins(0, 0, 0, 0);
    checks->addWidget(once_);
    checks->addWidget(accel_);
    checks->addStretch();
    form_->addRow(QString(), checks_);
    section_ = Named(new QComboBox, QStringLiteral("Section"));
    form_->addRow(QStringLiteral("Sect&ion:"), section_);
    why_ = Named(new QLabel, QStringLiteral("Why not"));
    why_->setWordWrap(true);
    form_->addRow(why_);
    layout->addWidget(fields);

    const auto button = [this](const QString& text, const QString& name, auto slot) {
        auto* pushed = Named(new QPushButton(text), name);
        pushed->setAutoDefault(false);
        connect(pushed, &QPushButton::clicked, this, slot);
        return pushed;
    };
    auto* edits = new QHBoxLayout;
    edits->addWidget(button(QStringLiteral("A&dd"), QStringLiteral("Add"), [this] {
        std::string why;
        const KeyMap::Line binding = FieldsBinding(why);
        Edit([&] { return why.empty() ? editor_.Document().Add(binding) : why; });
    }));
    edits->addWidget(button(QStringLiteral("C&hange"), QStringLiteral("Change"), [this] {
        std::string why;
        const KeyMap::Line binding = FieldsBinding(why);
        const KeyMapDocument::Row* row = Selected();
        Edit([&] {
            return !why.empty()     ? why
                   : row == nullptr ? std::string("choose a binding in the table first")
                   : row->line < 0  ? editor_.Document().Add(binding)  // overrides the built-in
                                    : editor_.Document().Change(row->line, binding);
        });
    }));
    edits->addWidget(button(QStringLiteral("Mo&ve"), QStringLiteral("Move"), [this] {
        const KeyMapDocument::Row* row = Selected();
        Edit([&] {
            if (row == nullptr || row->line < 0 || !row->binding) {
                return std::string("choose a binding of the file in the table first");
            }
            KeyMap::Line moved = *row->binding;
            moved.section = editor_.Document().Sections().at(
                static_cast<std::size_t>(std::max(0, section_->currentIndex())));
            return editor_.Document().Change(row->line, moved);
        });
    }));
    edits->addWidget(button(QStringLiteral("&Remove"), QStringLiteral("Remove"), [this] {
        const KeyMapDocument::Row* row = Selected();
        Edit([&] {
            return row == nullptr || row->line < 0
                       ? std::string("choose a binding of the file in the table first")
                       : editor_.Document().Remove(row->line);
        });
    }));
    edits->addStretch();
    edits->addWidget(button(QStringLiteral("Add section…"), QStringLiteral("Add section…"),
                            [this] { AddSection(); }));
    edits->addWidget(button(QStringLiteral("Remove section"), QStringLiteral("Remove section"),
                            [this] { RemoveSection(); }));
    layout->addLayout(edits);

    auto* closing = new QHBoxLayout;
    closing->addStretch();
    save_ = button(QStringLiteral("&Save"), QStringLiteral("Save"), [this] { Save(); });
    closing->addWidget(save_);
    closing->addWidget(
        button(QStringLiteral("Cancel"), QStringLiteral("Cancel"), [this] { Cancel(); }));
    layout->addLayout(closing);

    connect(search_, &QLineEdit::textChanged, this, [this] { Filter(); });
    connect(table_, &QTreeWidget::currentItemChanged, this, [this] { ShowRow(); });
    connect(gesture_, &QComboBox::currentIndexChanged, this, [this] {
        if (gesture_->currentData().toInt() == static_cast<int>(KeyMap::Kind::Long) &&
            delay_->value() == 0) {
            delay_->setValue(KeyMap::DefaultLongDelayMs);
        }
        ShowFields();
    });
    connect(action_, &QComboBox::currentIndexChanged, this, [this] { ShowFields(); });
    connect(learn_, &QPushButton::clicked, this, [this] { Learn(); });
    // Esc ends learning first; else it closes, as Cancel.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { recorder_.Listening() ? StopLearning(true) : Cancel(); });

    const bool readOnly = !editor_.ReadOnlyWhy().empty();
    readOnly_->setVisible(readOnly);
    readOnly_->setText(QStringLiteral("Read only: ") + Text(editor_.ReadOnlyWhy()));
    fields->setEnabled(!readOnly);
    for (QPushButton* pushed : findChildren<QPushButton*>()) {
        pushed->setEnabled(!readOnly || pushed->objectName() == QStringLiteral("Cancel"));
    }
    learn_->setEnabled(!readOnly && setup_.capture != nullptr);
    if (setup_.capture == nullptr) {
        learn_->setToolTip(QStringLiteral("No receiver runs to learn from"));
    }
    Fill({});
    ShowFields();
    Say(prompt_, {});
    Say(why_, {});

    setMinimumSize(560, 480);
    const std::optional<WindowSize> size =
        setup_.statePath.empty() ? std::nullopt : ReadKeysWindowSize(setup_.statePath);
    resize(size ? QSize(size->width, size->height) : QSize(780, 640));
}

KeysWindow::~KeysWindow() {
    // The receiver holds no handler of a window gone.
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
}

void KeysWindow::closeEvent(QCloseEvent* event) {
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
    if (!setup_.statePath.empty()) {
        std::string problem;
        if (!SaveKeysWindowSize(setup_.statePath, {width(), height()}, problem)) {
            QUORVEL_WARNING(lcApp) << "keys window: its size is not kept: " << problem;
        }
    }
    QWidget::closeEvent(event);
}

void KeysWindow::Fill(const std::string& selected) {
    const KeyMapDocument& document = editor_.Document();
    table_->clear();
    std::vector<QTreeWidgetItem*> groups;
    for (const KeySection& section : document.Sections()) {
        auto* group = new QTreeWidgetItem(table_, {SectionTitle(section)});
        group->setData(KeyColumn, RowRole, -1);
        group->setFirstColumnSpanned(true);
        group->setExpanded(true);
        QFont bold = group->font(KeyColumn);
        bold.setBold(true);
        group->setFont(KeyColumn, bold);
        groups.push_back(group);
    }
    QTreeWidgetItem* select = nullptr;
    QTreeWidgetItem* builtIn = nullptr;
    for (std::size_t i = 0; i < document.Rows().size(); ++i) {
        const KeyMapDocument::Row& row = document.Rows()[i];
        const auto found =
            std::find(document.Sections().begin(), document.Sections().end(), row.section);
        QTreeWidgetItem* group = groups[static_cast<std::size_t>(
            found == document.Sections().end() ? 0 : found - document.Sections().begin())];
        if (row.line < 0) {
            if (builtIn == nullptr) {
                builtIn = new QTreeWidgetItem(table_, {QStringLiteral("Built in")});
                builtIn->setToolTip(KeyColumn,
                                    QStringLiteral("The built-in keys: a key map file is the whole "
                                                   "map, so only those it binds act"));
                builtIn->setData(KeyColumn, RowRole, -1);
                builtIn->setFirstColumnSpanned(true);
                builtIn->setFont(KeyColumn, groups.front()->font(KeyColumn));
            }
            group = builtIn;
        }
        auto* item = new QTreeWidgetItem(group);
        if (row.binding) {
            item->setText(KeyColumn, Text(KeyMapDocument::KeysText(*row.binding)));
            item->setText(GestureColumn, Text(KeyMapDocument::GestureText(row.binding->kind)));
            item->setText(ActionColumn, Text(KeyMapDocument::ActionWords(*row.binding)));
            item->setText(OptionsColumn, Text(KeyMapDocument::OptionsText(*row.binding)));
        } else {
            item->setText(ActionColumn, Text(row.text));
        }
        const QString note = Text(KeyMapDocument::NoteText(row));
        item->setText(NoteColumn, note);
        item->setToolTip(NoteColumn, note);
        if (!row.problem.empty()) {
            item->setForeground(NoteColumn, QColor(Qt::red));
        }
        item->setData(KeyColumn, RowRole, static_cast<int>(i));
        if (row.line >= 0 && row.text == selected) {
            select = item;
        }
    }
    table_->expandAll();
    if (select != nullptr) {
        table_->setCurrentItem(select);
    }

    const QString sectionShown = section_->currentText();
    section_->clear();
    mode_->clear();
    mode_->addItem(QString());
    for (const KeySection& section : document.Sections()) {
        section_->addItem(SectionTitle(section));
        if (!section.mode.empty() && mode_->findText(Text(section.mode)) < 0) {
            mode_->addItem(Text(section.mode));
        }
    }
    section_->setCurrentIndex(std::max(0, section_->findText(sectionShown)));

    QString problems;
    for (const std::string& problem : editor_.Problems()) {
        problems += QStringLiteral("\n") + Text(problem);
    }
    fileProblems_->setVisible(!problems.isEmpty() && editor_.ReadOnlyWhy().empty());
    fileProblems_->setText(QStringLiteral("Not saved while the map has mistakes:") + problems);
    Filter();
}

void KeysWindow::Filter() {
    const std::string search = search_->text().trimmed().toStdString();
    for (int g = 0; g < table_->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = table_->topLevelItem(g);
        for (int c = 0; c < group->childCount(); ++c) {
            QTreeWidgetItem* item = group->child(c);
            const auto& row =
                editor_.Document().Rows()[static_cast<std::size_t>(item->data(0, RowRole).toInt())];
            item->setHidden(!KeyMapDocument::Matches(row, search));
        }
    }
}

const KeyMapDocument::Row* KeysWindow::Selected() const {
    const QTreeWidgetItem* item = table_->currentItem();
    const int index = item != nullptr ? item->data(KeyColumn, RowRole).toInt() : -1;
    return index >= 0 ? &editor_.Document().Rows()[static_cast<std::size_t>(index)] : nullptr;
}

void KeysWindow::ShowRow() {
    const KeyMapDocument::Row* row = Selected();
    if (row == nullptr || !row->binding) {
        return;
    }
    const KeyMap::Line& binding = *row->binding;
    key_->setEditText(Text(KeyListText(binding.keys)));
    gesture_->setCurrentIndex(gesture_->findData(static_cast<int>(binding.kind)));
    const KeyMap::Binding& request = binding.binding;
    action_->setCurrentIndex(
        action_->findData(request ? static_cast<int>(request->action) : NothingAction));
    if (request && request->action == PlayerAction::Mode) {
        mode_->setEditText(Text(request->command));
        timeout_->setValue(request->seconds);
    } else if (request && request->action == PlayerAction::Run) {
        command_->setText(Text(request->command));
    } else if (request && request->seconds != 0) {
        seconds_->setValue(request->seconds);
    }
    const HoldShape& hold = binding.hold;
    (binding.kind == KeyMap::Kind::Double ? gap_ : delay_)->setValue(hold.delayMs);
    every_->setValue(hold.every);
    once_->setChecked(hold.once);
    accel_->setChecked(hold.accel);
    const auto found = std::find(editor_.Document().Sections().begin(),
                                 editor_.Document().Sections().end(), binding.section);
    section_->setCurrentIndex(static_cast<int>(found - editor_.Document().Sections().begin()));
    Say(why_, {});
}

void KeysWindow::ShowFields() {
    const int action = action_->currentData().toInt();
    const auto kind = static_cast<KeyMap::Kind>(gesture_->currentData().toInt());
    const bool seeks = action == static_cast<int>(PlayerAction::SeekForward) ||
                       action == static_cast<int>(PlayerAction::SeekBackward);
    const bool modes = action == static_cast<int>(PlayerAction::Mode);
    const bool held = kind == KeyMap::Kind::Held;
    form_->setRowVisible(seconds_, seeks);
    form_->setRowVisible(command_, action == static_cast<int>(PlayerAction::Run));
    form_->setRowVisible(mode_, modes);
    form_->setRowVisible(timeout_, modes);
    form_->setRowVisible(delay_, held || kind == KeyMap::Kind::Long);
    form_->setRowVisible(gap_, kind == KeyMap::Kind::Double);
    form_->setRowVisible(every_, held);
    form_->setRowVisible(checks_, held);
}

KeyMap::Line KeysWindow::FieldsBinding(std::string& why) const {
    KeyMap::Line line;
    const std::string keys = key_->currentText().trimmed().toStdString();
    why = keys.empty() ? "press Learn…, or type or pick a key" : ParseKeyList(keys, line.keys);
    line.kind = static_cast<KeyMap::Kind>(gesture_->currentData().toInt());
    line.section = editor_.Document().Sections().at(
        static_cast<std::size_t>(std::max(0, section_->currentIndex())));
    const int action = action_->currentData().toInt();
    if (action != NothingAction) {
        PlayerRequest request(static_cast<PlayerAction>(action));
        if (request.action == PlayerAction::SeekForward ||
            request.action == PlayerAction::SeekBackward) {
            request.seconds = seconds_->value();
        } else if (request.action == PlayerAction::Run) {
            request.command = command_->text().trimmed().toStdString();
        } else if (request.action == PlayerAction::Mode) {
            request.command = mode_->currentText().trimmed().toStdString();
            request.seconds = timeout_->value();
        }
        line.binding = std::move(request);
    }
    if (line.kind == KeyMap::Kind::Held) {
        line.hold = {delay_->value(), every_->value(), once_->isChecked(), accel_->isChecked()};
    } else if (line.kind != KeyMap::Kind::Press) {
        line.hold.delayMs = (line.kind == KeyMap::Kind::Double ? gap_ : delay_)->value();
    }
    return line;
}

void KeysWindow::Say(QLabel* label, const std::string& text) {
    label->setText(Text(text));
    form_->setRowVisible(label, !text.empty());
}

void KeysWindow::Edit(const std::function<std::string()>& edit) {
    const KeyMapDocument::Row* row = Selected();
    std::string selected = row != nullptr ? row->text : std::string();
    const std::string why = edit();
    Say(why_, why);
    if (!why.empty()) {
        return;
    }
    // The binding the fields say is selected where it went; else the row that was.
    std::string ignored;
    const KeyMap::Line fields = FieldsBinding(ignored);
    Fill(ignored.empty() ? editor_.Document().RowBinding(fields, selected) : selected);
}

void KeysWindow::AddSection() {
    bool given = false;
    const QString text = QInputDialog::getText(
        this, Title,
        QStringLiteral("The section's conditions: player=GLOB, mode=NAME or both, as in "
                       "player=vlc"),
        QLineEdit::Normal, QStringLiteral("player="), &given);
    if (!given) {
        return;
    }
    std::string header = text.trimmed().toStdString();
    if (!header.starts_with('[')) {
        header = "[" + header + "]";
    }
    KeySection section;
    std::string why = key_map_words::ParseSection(header, section);
    Edit([&] { return why.empty() ? editor_.Document().AddSection(section) : why; });
    if (why.empty() && why_->text().isEmpty()) {
        section_->setCurrentIndex(section_->findText(SectionTitle(section)));
    }
}

void KeysWindow::RemoveSection() {
    const int index = section_->currentIndex();
    Edit([&] {
        return index <= 0 ? std::string("choose a section other than the defaults first")
                          : editor_.Document().RemoveSection(
                                editor_.Document().Sections()[static_cast<std::size_t>(index)]);
    });
}

void KeysWindow::Learn() {
    if (setup_.capture == nullptr) {
        return;
    }
    if (!recorder_.Listening()) {
        recorder_.Start();
    }
    // The capture keeps the key and the receiver thread queues a call, which Qt drops once
    // the window is gone; Disarm, at the latest in the destructor, ends the handler's calls.
    setup_.capture->Arm([this](const KeyEvent&) {
        if (!QMetaObject::invokeMethod(this, &KeysWindow::TakeLearnt, Qt::QueuedConnection)) {
            QUORVEL_WARNING(lcApp) << "keys window: a key learnt could not be handed over";
        }
    });
    Say(prompt_, recorder_.Prompt());
}

void KeysWindow::TakeLearnt() {
    if (const std::optional<Key> key = setup_.capture->Collect()) {
        Took(*key);
    }
}

void KeysWindow::Took(const Key& key) {
    if (!recorder_.Listening()) {
        return;
    }
    recorder_.Took(key);
    if (recorder_.Listening()) {
        Learn();
        return;
    }
    if (recorder_.Current() == KeyRecorder::Step::Both) {
        recorder_.Answer(QMessageBox::question(this, Title, Text(recorder_.Prompt())) ==
                         QMessageBox::Yes);
    }
    StopLearning(false);
}

void KeysWindow::StopLearning(bool cancel) {
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
    if (cancel) {
        recorder_.Cancel();
    }
    if (recorder_.Current() == KeyRecorder::Step::Done) {
        key_->setEditText(Text(KeyListText(recorder_.Keys())));
    }
    Say(prompt_, recorder_.Prompt());
}

void KeysWindow::Save() {
    const bool saved = editor_.SaveAsking(
        [this](const std::string& question) {
            return QMessageBox::question(this, Title, Text(question)) == QMessageBox::Yes;
        },
        [this](const std::string& warning) { QMessageBox::warning(this, Title, Text(warning)); },
        setup_.reload);
    if (saved) {
        close();
    }
}

void KeysWindow::Cancel() {
    close();
}
