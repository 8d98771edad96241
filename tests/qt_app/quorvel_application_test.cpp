#include "qt_app/quorvel_application.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <stdexcept>

#include "tests/qt_app/qt_environment.h"

namespace {

// Runs the event loop until something quits it; false if it had to be ended by the
// deadline instead.
bool RunUntilQuit() {
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    deadline.start(20000);
    QCoreApplication::exec();
    return !timedOut;
}

// Throws from an event handler, as any of our code might.
class Thrower : public QObject {
  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw std::runtime_error("thrown in the loop");
        }
        return QObject::event(event);
    }
};

TEST(QuorvelApplication, ExceptionInTheLoopEndsItAndReachesTheEntry) {
    auto* app = dynamic_cast<QuorvelApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    EXPECT_TRUE(RunUntilQuit());
    EXPECT_THROW(app->RethrowEscaped(), std::runtime_error);
    // Handed on once only.
    EXPECT_NO_THROW(app->RethrowEscaped());
}

}  // namespace
