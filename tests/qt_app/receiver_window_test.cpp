// The window as the program runs it: closing it ends the event loop. (Destroying it joins
// its receiver, blocked or not: the receiver host's test.)
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "qt_app/form1.h"
#include "tests/qt_app/qt_environment.h"

namespace {

TEST(ReceiverWindow, ClosingTheWindowEndsTheLoop) {
    ASSERT_TRUE(QApplication::quitOnLastWindowClosed());
    TForm1 form([](ReceiverHost&) {});
    form.show();
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    deadline.start(30000);
    QTimer::singleShot(0, &form, [&] { form.close(); });
    QApplication::exec();
    EXPECT_FALSE(timedOut) << "closing the window did not end the event loop";
}

}  // namespace
