#include "qt_app/keys_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "keys_window/binding_fields.h"
#include "program/app_log.h"

namespace {

const QString Title = QStringLiteral("Quorvel keys");
constexpr int RowRole = Qt::UserRole;
constexpr WindowSize DefaultSize{780, 640};
constexpr WindowSize LeastSize{560, 480};

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Utf8(const QString& text) {
    return text.toStdString();
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

QLabel* Line(const QString& name) {
    auto* label = Named(new QLabel, name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

}  // namespace

KeysWindow::KeysWindow(Setup setup, QWidget* parent)
    : QWidget(parent, Qt::Window), presenter_(*this, std::move(setup)) {
    setWindowTitle(Title);
    setObjectName(QStringLiteral("KeysWindow"));
    auto* layout = new QVBoxLayout(this);
    readOnly_ = Line(QStringLiteral("Read only"));
    layout->addWidget(readOnly_);
    MakeTable(layout);
    fileProblems_ = Line(QStringLiteral("Mistakes"));
    layout->addWidget(fileProblems_);
    fields_ = MakeFields();
    layout->addWidget(fields_);
    MakeButtons(layout);

    connect(search_, &QLineEdit::textChanged, this, [this] { presenter_.SearchChanged(); });
    connect(table_, &QTreeWidget::currentItemChanged, this, [this] { presenter_.RowChosen(); });
    connect(gesture_, &QComboBox::currentIndexChanged, this,
            [this] { presenter_.GestureChosen(); });
    connect(action_, &QComboBox::currentIndexChanged, this, [this] { presenter_.ActionChosen(); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { presenter_.Escape(); });
    presenter_.Start();
    Place();
}

void KeysWindow::MakeTable(QVBoxLayout* layout) {
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
    table_->setTextElideMode(Qt::ElideRight);
    // The note takes what is left and is cut short there: the other columns keep their width.
    table_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->header()->setSectionResizeMode(NoteColumn, QHeaderView::Stretch);
    table_->header()->setStretchLastSection(false);
    layout->addWidget(table_, 1);
}

QWidget* KeysWindow::MakeFields() {
    auto* fields = new QWidget;
    form_ = new QFormLayout(fields);
    form_->setContentsMargins(0, 0, 0, 0);
    key_ = Named(new QComboBox, QStringLiteral("Key"));
    key_->setEditable(true);
    key_->setInsertPolicy(QComboBox::NoInsert);
    key_->setToolTip(QStringLiteral(
        "A kernel key name (KEY_PLAYPAUSE; tv:KEY_OK for lircd's remote tv), a byte code "
        "(0 to 255, or 0x00 to 0xff) or scan: and a scancode; several joined by commas"));
    for (const std::string& name : binding_fields::KeyChoices()) {
        key_->addItem(Text(name));
    }
    key_->setCurrentIndex(-1);
    learn_ = Named(new QPushButton(QStringLiteral("&Learn…")), QStringLiteral("Learn…"));
    learn_->setAutoDefault(false);
    connect(learn_, &QPushButton::clicked, this, [this] { presenter_.Learn(); });
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
    for (const auto& [text, kind] : binding_fields::GestureChoices()) {
        gesture_->addItem(Text(text), static_cast<int>(kind));
    }
    form_->addRow(QStringLiteral("&Gesture:"), gesture_);
    action_ = Named(new QComboBox, QStringLiteral("Action"));
    for (const auto& [text, value] : binding_fields::ActionChoices()) {
        action_->addItem(Text(text), value);
    }
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
    gap_ = SpinBox(QStringLiteral("Gap"), 1, LongestGap, QStringLiteral(" ms"));
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
    return fields;
}

void KeysWindow::MakeButtons(QVBoxLayout* layout) {
    const auto button = [this](const QString& text, const QString& name, auto slot) {
        auto* pushed = Named(new QPushButton(text), name);
        pushed->setAutoDefault(false);
        connect(pushed, &QPushButton::clicked, this, slot);
        return pushed;
    };
    auto* edits = new QHBoxLayout;
    edits->addWidget(
        button(QStringLiteral("A&dd"), QStringLiteral("Add"), [this] { presenter_.Add(); }));
    edits->addWidget(button(QStringLiteral("C&hange"), QStringLiteral("Change"),
                            [this] { presenter_.Change(); }));
    edits->addWidget(
        button(QStringLiteral("Mo&ve"), QStringLiteral("Move"), [this] { presenter_.Move(); }));
    edits->addWidget(button(QStringLiteral("&Remove"), QStringLiteral("Remove"),
                            [this] { presenter_.Remove(); }));
    edits->addStretch();
    edits->addWidget(button(QStringLiteral("Add section…"), QStringLiteral("Add section…"),
                            [this] { presenter_.AddSection(); }));
    edits->addWidget(button(QStringLiteral("Remove section"), QStringLiteral("Remove section"),
                            [this] { presenter_.RemoveSection(); }));
    layout->addLayout(edits);

    auto* closing = new QHBoxLayout;
    closing->addStretch();
    QPushButton* save =
        button(QStringLiteral("&Save"), QStringLiteral("Save"), [this] { presenter_.Save(); });
    save->setDefault(true);  // drawn so: keyPressEvent gives it Enter
    closing->addWidget(save);
    closing->addWidget(
        button(QStringLiteral("Cancel"), QStringLiteral("Cancel"), [this] { close(); }));
    layout->addLayout(closing);
}

void KeysWindow::Place() {
    const QWidget* over = parentWidget() != nullptr ? parentWidget() : this;
    const QRect area = over->screen()->availableGeometry();
    // The frame is not known before the window is shown: its title bar stands for it.
    const WindowSize room{area.width(),
                          area.height() - style()->pixelMetric(QStyle::PM_TitleBarHeight)};
    const WindowSize least = FitWindowSize(LeastSize, LeastSize, room);
    const WindowSize size = FitWindowSize(presenter_.KeptSize().value_or(DefaultSize), least, room);
    setMinimumSize(least.width, least.height);
    resize(size.width, size.height);
    move(area.left() + (area.width() - size.width) / 2,
         area.top() + (room.height - size.height) / 2);
}

void KeysWindow::closeEvent(QCloseEvent* event) {
    if (!presenter_.MayClose()) {
        event->ignore();
        return;
    }
    presenter_.Closing({width(), height()});
    QWidget::closeEvent(event);
}

void KeysWindow::keyPressEvent(QKeyEvent* event) {
    // What the focused control left of Enter, as a dialog's default button takes it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        presenter_.Save();
        return;
    }
    QWidget::keyPressEvent(event);
}

KeysView::Fields KeysWindow::ReadFields() const {
    Fields fields;
    fields.keys = Utf8(key_->currentText());
    fields.gesture = static_cast<KeyMap::Kind>(gesture_->currentData().toInt());
    fields.action = action_->currentData().toInt();
    fields.seconds = seconds_->value();
    fields.command = Utf8(command_->text());
    fields.mode = Utf8(mode_->currentText());
    fields.timeout = timeout_->value();
    fields.delayMs = delay_->value();
    fields.gapMs = gap_->value();
    fields.every = every_->value();
    fields.once = once_->isChecked();
    fields.accel = accel_->isChecked();
    fields.section = Utf8(section_->currentText());
    return fields;
}

void KeysWindow::SetFields(const Fields& fields) {
    key_->setEditText(Text(fields.keys));
    gesture_->setCurrentIndex(gesture_->findData(static_cast<int>(fields.gesture)));
    action_->setCurrentIndex(action_->findData(fields.action));
    seconds_->setValue(fields.seconds);
    command_->setText(Text(fields.command));
    mode_->setEditText(Text(fields.mode));
    timeout_->setValue(fields.timeout);
    delay_->setValue(fields.delayMs);
    gap_->setValue(fields.gapMs);
    every_->setValue(fields.every);
    once_->setChecked(fields.once);
    accel_->setChecked(fields.accel);
    if (const int section = section_->findText(Text(fields.section)); section >= 0) {
        section_->setCurrentIndex(section);
    }
}

void KeysWindow::ShowNeeded(const Needed& needed) {
    form_->setRowVisible(seconds_, needed.seconds);
    form_->setRowVisible(command_, needed.command);
    form_->setRowVisible(mode_, needed.mode);
    form_->setRowVisible(timeout_, needed.mode);
    form_->setRowVisible(delay_, needed.delay);
    form_->setRowVisible(gap_, needed.gap);
    form_->setRowVisible(every_, needed.hold);
    form_->setRowVisible(checks_, needed.hold);
}

void KeysWindow::SetChoices(const std::vector<std::string>& sections,
                            const std::vector<std::string>& modes) {
    const QString section = section_->currentText();
    section_->clear();
    for (const std::string& title : sections) {
        section_->addItem(Text(title));
    }
    section_->setCurrentIndex(std::max(0, section_->findText(section)));
    const QString mode = mode_->currentText();
    mode_->clear();
    for (const std::string& name : modes) {
        mode_->addItem(Text(name));
    }
    mode_->setEditText(mode);
}

std::string KeysWindow::Search() const {
    return Utf8(search_->text());
}

void KeysWindow::FillTable(const std::vector<TableLine>& lines, int selected) {
    table_->clear();
    QTreeWidgetItem* group = nullptr;
    QTreeWidgetItem* select = nullptr;
    for (const TableLine& line : lines) {
        if (line.row < 0) {
            group = new QTreeWidgetItem(table_, {Text(line.texts[KeyColumn])});
            group->setData(KeyColumn, RowRole, -1);
            group->setFirstColumnSpanned(true);
            group->setToolTip(KeyColumn, Text(line.tip));
            QFont bold = group->font(KeyColumn);
            bold.setBold(true);
            group->setFont(KeyColumn, bold);
            continue;
        }
        auto* item = group != nullptr ? new QTreeWidgetItem(group) : new QTreeWidgetItem(table_);
        for (int column = KeyColumn; column < Columns; ++column) {
            item->setText(column, Text(line.texts[static_cast<std::size_t>(column)]));
        }
        item->setToolTip(NoteColumn, Text(line.tip));
        if (line.mistake) {
            item->setForeground(NoteColumn, QColor(Qt::red));
        }
        item->setData(KeyColumn, RowRole, line.row);
        select = line.row == selected ? item : select;
    }
    table_->expandAll();
    if (select != nullptr) {
        table_->setCurrentItem(select);
    }
}

int KeysWindow::SelectedRow() const {
    const QTreeWidgetItem* item = table_->currentItem();
    return item != nullptr ? item->data(KeyColumn, RowRole).toInt() : -1;
}

void KeysWindow::Allow(const std::string& readOnly, bool learning) {
    readOnly_->setVisible(!readOnly.empty());
    readOnly_->setText(Text(readOnly));
    fields_->setEnabled(readOnly.empty());
    for (QPushButton* pushed : findChildren<QPushButton*>()) {
        pushed->setEnabled(readOnly.empty() || pushed->objectName() == QStringLiteral("Cancel"));
    }
    learn_->setEnabled(learning);
    if (!learning && readOnly.empty()) {
        learn_->setToolTip(QStringLiteral("No receiver runs to learn from"));
    }
}

void KeysWindow::ShowMistakes(const std::string& text) {
    fileProblems_->setVisible(!text.empty());
    fileProblems_->setText(Text(text));
}

void KeysWindow::Say(Said line, const std::string& text) {
    QLabel* label = line == Said::Prompt ? prompt_ : why_;
    label->setText(Text(text));
    form_->setRowVisible(label, !text.empty());
}

KeysView::Answer KeysWindow::Ask(const std::string& question, bool cancel) {
    const QMessageBox::StandardButtons buttons =
        QMessageBox::Yes | QMessageBox::No | (cancel ? QMessageBox::Cancel : QMessageBox::NoButton);
    switch (QMessageBox::question(this, Title, Text(question), buttons)) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return cancel ? Answer::Cancel : Answer::No;
    }
}

void KeysWindow::Warn(const std::string& warning) {
    QMessageBox::warning(this, Title, Text(warning));
}

std::optional<std::string> KeysWindow::NewSection() {
    bool given = false;
    const QString text = QInputDialog::getText(
        this, Title,
        QStringLiteral("The section's conditions: player=GLOB, mode=NAME or both, as in "
                       "player=vlc"),
        QLineEdit::Normal, QStringLiteral("player="), &given);
    return given ? std::optional(Utf8(text)) : std::nullopt;
}

KeyCapture::Handler KeysWindow::LearntHandler() {
    // A member function rather than a lambda: the call object is made on the receiver's
    // thread and run on this one, handed over inside Qt, where the sanitizer cannot see.
    return [this](const KeyEvent&) {
        if (!QMetaObject::invokeMethod(this, &KeysWindow::TakeLearnt, Qt::QueuedConnection)) {
            QUORVEL_WARNING(lcApp) << "keys window: a key learnt could not be handed over";
        }
    };
}

void KeysWindow::TakeLearnt() {
    presenter_.TakeLearnt();
}

void KeysWindow::Close() {
    close();
}
