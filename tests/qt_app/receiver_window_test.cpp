// The window with its real receiver thread reading a pseudo-terminal, wired as the program
// wires it: closing the window ends the event loop, and destroying the form joins the
// receiver while it is blocked in its read.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <optional>

#include "program/receiver_host.h"
#include "qt_app/form1.h"
#include "qt_app/history_view.h"
#include "remote/signal_cycle.h"
#include "tests/doubles/serial_reader.h"
#include "tests/qt_app/qt_environment.h"
#include "tools/virtual_port.h"

namespace {

TEST(ReceiverWindow, ClosingTheWindowEndsTheLoopAndJoinsABlockedReceiver) {
    ASSERT_TRUE(QApplication::quitOnLastWindowClosed());
    auto pty = VirtualPort::CreatePty();
    std::optional<TForm1> form;
    form.emplace([&](ReceiverHost& receivers) {
        receivers.Start(SerialReader(pty->readerPath()), {},
                        std::make_shared<const SharedKeyMap>());
    });
    form->show();
    // The waiting line is written just before the receiver blocks in its read.
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return form->History->LineCount() == 1 &&
               form->History->LineText(0) == QLatin1String(SignalCycle::WaitingText);
    }));

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
    form.reset();  // joins the receiver blocked in its read
}

}  // namespace
