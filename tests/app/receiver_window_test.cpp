// The window with its real receiver thread reading a pseudo-terminal, wired as the program
// wires it: closing the window ends the event loop, and the host joins the receiver while
// it is blocked in its read.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <optional>

#include "app/form1.h"
#include "app/history_view.h"
#include "app/receiver_host.h"
#include "receiver/signal_cycle.h"
#include "tests/app/qt_environment.h"
#include "tools/virtual_port.h"

namespace {

TEST(ReceiverWindow, ClosingTheWindowEndsTheLoopAndJoinsABlockedReceiver) {
    ASSERT_TRUE(QApplication::quitOnLastWindowClosed());
    auto pty = VirtualPort::CreatePty();
    // The form is declared before the host, so the host (joining the receiver) goes first.
    std::optional<TForm1> form;
    ReceiverHost host(qApp);
    form.emplace([&](HistoryList& history) {
        host.Start(std::make_unique<IRThread>(history, pty->readerPath()));
    });
    form->show();
    // The waiting line is written just before the receiver blocks in its read.
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return form->History->LineCount() == 1 &&
               form->History->LineText(0) == QLatin1String(SignalCycle::WaitingText);
    }));
    ASSERT_EQ(host.Count(), 1);

    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    deadline.start(30000);
    QTimer::singleShot(0, &*form, [&] { form->close(); });
    QApplication::exec();

    EXPECT_FALSE(timedOut) << "closing the window did not end the event loop";
    // Quitting stopped and joined the receiver.
    EXPECT_EQ(host.Count(), 0);
}

}  // namespace
