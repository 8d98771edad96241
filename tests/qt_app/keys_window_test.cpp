#include "qt_app/keys_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "program/key_map_reloader.h"
#include "program/receiver_host.h"
#include "qt_app/form1.h"
#include "qt_app/history_view.h"
#include "source/receiver_loop.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/files.h"
#include "tests/doubles/locked_history_list.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/qt_app/qt_environment.h"

namespace {

const std::string W = "Waiting for new signal...";
const std::string Mine =
    "# mine\r\nkey 0x60 play-pause   # ok\r\n\r\n[player=vlc]\r\nkey 0x18 next\r\n";

template <typename Widget = QPushButton>
Widget* Control(const QWidget& window, const char* name) {
    auto* found = window.findChild<Widget*>(QString::fromUtf8(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

void Choose(const QWidget& window, const char* combo, const char* text) {
    auto* box = Control<QComboBox>(window, combo);
    box->setCurrentIndex(box->findText(QString::fromUtf8(text)));
}

// The message box the window opens next is answered so, once it is up; its text is kept.
void Answer(QMessageBox::StandardButton answer, QString& text) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer, &text] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                text = box->text();
                box->button(answer)->click();
                poll->deleteLater();
            }
        }
    });
    poll->start(5);
}

struct Scratch {
    Scratch() { std::ofstream(path, std::ios::binary) << Mine; }
    ScratchFolder folder;
    const std::filesystem::path path = folder / "keys.conf";
};

// Ctrl+K in the history window opens the keys window on a running receiver, its controls
// named for screen readers: a key learnt from the source, asked twice, neither shows nor
// acts; Enter in the Key field saves, asking first to add the binding the fields hold; the
// file is the same but for the new line and the running cycle takes the map at once.
// Opened again from the list's context menu, the window has the size it had.
TEST(KeysWindow, LearnsAKeyAndSavesAMapTheRunningCycleTakes) {
    Scratch scratch;
    KeyMapFile::Loaded loaded = KeyMapFile::Load(scratch.path);
    ASSERT_EQ(loaded.problems, std::vector<std::string>{});
    KeyMapReloader reloader(scratch.path, std::move(loaded.keys));
    auto owned = std::make_unique<FedKeySource>();
    FedKeySource& fed = *owned;
    std::vector<std::unique_ptr<KeySource>> sources;
    sources.push_back(std::move(owned));
    auto lines = std::make_unique<LockedHistoryList>(std::vector<std::string>{"greeting"});
    LockedHistoryList& list = *lines;
    ReceiverHost host(std::move(lines));
    host.Start(std::make_unique<ReceiverLoop>(std::move(sources)), {}, reloader.Keys());
    list.WaitFor([](const auto& l) { return l == std::vector{W}; });

    TForm1 form(nullptr);
    form.SetKeysWindowMaker([&](QWidget* parent) {
        return new KeysWindow({scratch.path, &host.Capture(), [&] { return reloader.Reload(); },
                               scratch.folder / "state.conf"},
                              parent);
    });
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_K, Qt::ControlModifier);
    QWidget* window = form.findChild<QWidget*>("KeysWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Quorvel keys");
    // A combo box's name is its value on Linux: its label, through the labelled-by
    // relation, says what it is.
    for (const char* name : {"Learn…", "Action", "Save", "Cancel", "Search", "Bindings"}) {
        QAccessibleInterface* control =
            QAccessible::queryAccessibleInterface(window->findChild<QWidget*>(name));
        ASSERT_NE(control, nullptr) << name;
        QString said = control->text(QAccessible::Name);
        for (const auto& [label, relation] : control->relations(QAccessible::Label)) {
            said = label->text(QAccessible::Name).remove('&').remove(':');
        }
        EXPECT_EQ(said, QString::fromUtf8(name));
    }

    Control(*window, "Learn…")->click();
    fed.Push({KeyEvent{KeyAction::Press, Key::Code(0x2A)}});
    auto* prompt = Control<QLabel>(*window, "Learning");
    ASSERT_TRUE(ProcessEventsUntil([&] { return prompt->text().contains("again"); }));
    fed.Push({KeyEvent{KeyAction::Press, Key::Code(0x2A)}});
    auto* key = Control<QComboBox>(*window, "Key");
    ASSERT_TRUE(ProcessEventsUntil([&] { return key->currentText() == "42"; }));
    EXPECT_EQ(list.Lines(), std::vector{W});

    Choose(*window, "Action", "stop");
    window->resize(700, 530);
    QString asked;
    Answer(QMessageBox::Yes, asked);
    QTest::keyClick(key, Qt::Key_Return);
    EXPECT_TRUE(asked.contains("\"key  42 stop\"")) << asked.toStdString();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return form.findChild<QWidget*>("KeysWindow") == nullptr; }));
    EXPECT_EQ(FileText(scratch.path),
              "# mine\r\nkey 0x60 play-pause   # ok\r\nkey  42 stop\r\n\r\n[player=vlc]\r\nkey "
              "0x18 next\r\n");
    fed.Push({KeyEvent{KeyAction::Press, Key::Code(0x2A)}});
    EXPECT_EQ(list.WaitFor([](const auto& l) { return l.front() == "STOP!"; }).front(), "STOP!");

    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 3);  // Copy, a separator, Keys…
        EXPECT_EQ(menu->actions()[2]->text(), "Keys…");
        menu->actions()[2]->trigger();
        menu->close();
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(10, 10),
                              form.History->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(form.History, &menuKey);
    window = form.findChild<QWidget*>("KeysWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(700, 530));
    EXPECT_EQ(form.size(), QSize(175, 350));
    window->close();
}

}  // namespace
