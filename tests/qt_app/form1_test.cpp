#include "qt_app/form1.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include "qt_app/history_view.h"
#include "tests/qt_app/qt_environment.h"

namespace {

TEST(Form1, WindowLayoutAsDrawn) {
    TForm1 form(nullptr);
    form.show();

    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quorvel V0.1"));
    EXPECT_EQ(form.pos(), QPoint(330, 117));
    EXPECT_EQ(form.size(), QSize(175, 350));
    // Fixed size: the user cannot resize it.
    EXPECT_EQ(form.minimumSize(), QSize(175, 350));
    EXPECT_EQ(form.maximumSize(), QSize(175, 350));

    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));

    EXPECT_EQ(form.font().pointSize(), 8);
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_EQ(form.windowIcon().pixmap(32, 32).size(), QSize(32, 32));
}

TEST(Form1, HistoryListAsDrawn) {
    TForm1 form(nullptr);
    form.show();

    ASSERT_NE(form.History, nullptr);
    EXPECT_EQ(form.History->parentWidget(), &form);
    EXPECT_EQ(form.History->geometry(), QRect(8, 8, 161, 329));
    // Inside its two-pixel frame the list shows exactly 25 whole rows.
    EXPECT_EQ(form.History->viewport()->height(), 325);
    EXPECT_EQ(form.History->VisibleRows(), 25);
    ASSERT_EQ(form.History->LineCount(), 1);
    EXPECT_EQ(form.History->LineText(0), QStringLiteral("Click to start the fun :)"));
    EXPECT_EQ(form.History->SelectedRow(), -1);
}

TEST(Form1, StartsTheReceiverLastWithAHistoryThatReachesTheList) {
    HistoryList* given = nullptr;
    QStringList linesWhenStarted;
    int calls = 0;
    TForm1 form([&](ReceiverHost& receivers) {
        ++calls;
        given = &receivers.List();
        // The form is still being built: its list must already hold the greeting.
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* building = dynamic_cast<TForm1*>(window); building && building->History) {
                for (int row = 0; row < building->History->LineCount(); ++row) {
                    linesWhenStarted << building->History->LineText(row);
                }
            }
        }
    });
    EXPECT_EQ(calls, 1);
    ASSERT_NE(given, nullptr);
    EXPECT_EQ(linesWhenStarted, QStringList{QStringLiteral("Click to start the fun :)")});

    // What the receiver writes arrives in the list (through the event loop).
    given->DeleteLine(0);
    given->InsertLine(0, "Waiting for new signal...");
    given->Repaint();
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return form.History->LineCount() == 1 &&
               form.History->LineText(0) == QStringLiteral("Waiting for new signal...");
    }));
}

// The list's context menu copies the line right-clicked.
TEST(Form1, TheHistoryMenuCopiesTheLineRightClicked) {
    TForm1 form(nullptr);
    form.show();
    form.History->InsertLine(1, "PANASONIC_40040100BCBD");
    const QPoint at = form.History->RowRect(1).center();
    QTest::mousePress(form.History->viewport(), Qt::RightButton, {}, at);
    QTimer::singleShot(0, [] {
        QWidget* menu = QApplication::activePopupWidget();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("Copy"));
        menu->actions().first()->trigger();
        menu->close();
    });
    emit form.History->customContextMenuRequested(at);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("PANASONIC_40040100BCBD"));
}

}  // namespace
