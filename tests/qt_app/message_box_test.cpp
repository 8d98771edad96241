#include "qt_app/message_box.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <string>

#include "tests/qt_app/qt_environment.h"

namespace {

// What a screen reader reads in the box (its parts' names), then its details; it is then
// closed.
QStringList Show(const std::string& text) {
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(box);
        for (int i = 0; i < read->childCount(); ++i) {
            shown << read->child(i)->text(QAccessible::Name);
        }
        shown << "details: " + box->detailedText();
        box->accept();
    });
    ShowMessageBox(text, true);
    return shown;
}

// The console's text; too tall for the screen, its first lines, and all of it in details.
TEST(MessageBox, ShowsTheConsolesTextAndAllOfItUnderTheDetails) {
    const std::string said = "quorvel: keys.conf:1: unknown action 'paly'";
    QStringList shown = Show(said);
    EXPECT_TRUE(shown.contains(QString::fromStdString(said))) << shown.join('|').toStdString();
    EXPECT_EQ(shown.last(), "details: ");

    std::string many = said;
    for (int line = 1; line < 80; ++line) {
        many += "\n" + said;
    }
    shown = Show(many);
    EXPECT_EQ(shown.last(), "details: " + QString::fromStdString(many));
    const QStringList fitted = shown.filter("more\n\nAll of it is under Show Details.");
    ASSERT_EQ(fitted.size(), 1) << shown.join('|').toStdString();
    EXPECT_TRUE(fitted[0].startsWith(QString::fromStdString(said + "\n" + said)));
}

}  // namespace
