#include "tests/e2e/program_process.h"

#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <csignal>
#include <cstdlib>

void PrepareQtWithoutSessionBus() {
    static QCoreApplication* app = [] {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-test-bus", 1);
        static int argc = 1;
        static char name[] = "quorvel-e2e-test";
        static char* argv[] = {name, nullptr};
        return new QCoreApplication(argc, argv);
    }();
    (void)app;
}

QProcessEnvironment ProgramEnvironment(const QString& busAddress) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    return environment;
}

bool StartChild(QProcess& process, const QString& program, const QStringList& args,
                const QProcessEnvironment& environment, const std::function<void()>& beforeExec) {
    process.setProcessEnvironment(environment);
    // Its diagnostics show up in the test's log.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setChildProcessModifier([beforeExec] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (beforeExec) {
            beforeExec();
        }
    });
    process.start(program, args);
    return process.waitForStarted(DeadlineMs);
}

bool ReadOutputUntil(QProcess& process, QByteArray& output,
                     const std::function<bool(const QByteArray&)>& done) {
    const QDeadlineTimer deadline(DeadlineMs);
    output += process.readAllStandardOutput();
    while (!done(output) && !deadline.hasExpired() && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        output += process.readAllStandardOutput();
    }
    output += process.readAllStandardOutput();
    return done(output);
}

bool Terminate(QProcess& process) {
    process.terminate();
    return process.waitForFinished(DeadlineMs);
}
