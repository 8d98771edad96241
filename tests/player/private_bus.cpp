#include "tests/player/private_bus.h"

#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdlib>

namespace {

constexpr int StartDeadlineMs = 30000;
constexpr int OwnerDeadlineMs = 30000;

const char* BusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

}  // namespace

void PrepareQtWithoutSessionBus() {
    static QCoreApplication* app = [] {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-test-bus", 1);
        static int argc = 1;
        static char name[] = "quorvel-player-test";
        static char* argv[] = {name, nullptr};
        return new QCoreApplication(argc, argv);
    }();
    (void)app;
}

PrivateBus::PrivateBus() : connection_(QStringLiteral("unconnected")) {
    PrepareQtWithoutSessionBus();
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    QFile config(dir_.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QString::fromLatin1(BusConfig).arg(dir_.path()).toUtf8()) < 0) {
        error_ = QStringLiteral("cannot write the bus configuration");
        return;
    }
    config.close();
    configPath_ = config.fileName();

    // The daemon must not outlive a test that crashes.
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // Its complaints (as root it warns about fd limits) are only shown when it fails.
    daemon_.setStandardErrorFile(dir_.filePath(QStringLiteral("daemon.log")));
    Start();
}

PrivateBus::~PrivateBus() {
    Stop();
}

bool PrivateBus::Start() {
    if (configPath_.isEmpty()) {
        return false;
    }
    Stop();
    error_.clear();
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + configPath_,
                   QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    const QDeadlineTimer deadline(StartDeadlineMs);
    while (!daemon_.canReadLine() && !deadline.hasExpired() &&
           daemon_.state() != QProcess::NotRunning) {
        daemon_.waitForReadyRead(100);
    }
    if (!daemon_.canReadLine()) {
        QFile log(dir_.filePath(QStringLiteral("daemon.log")));
        log.open(QIODevice::ReadOnly);
        error_ = QStringLiteral("dbus-daemon did not start: ") + daemon_.errorString() +
                 QLatin1Char(' ') + QString::fromUtf8(log.readAll());
        return false;
    }
    // Without the guid, which is new at every start, the address still names the bus
    // after a restart.
    QStringList parts = QString::fromUtf8(daemon_.readLine()).trimmed().split(QLatin1Char(','));
    parts.removeIf([](const QString& part) { return part.startsWith(QStringLiteral("guid=")); });
    address_ = parts.join(QLatin1Char(','));

    static std::atomic<int> serial{0};
    connectionName_ = QStringLiteral("quorvel-test-bus-%1").arg(serial++);
    connection_ = QDBusConnection::connectToBus(address_, connectionName_);
    if (!connection_.isConnected()) {
        error_ = QStringLiteral("cannot connect: ") + connection_.lastError().message();
    }
    return Started();
}

void PrivateBus::Stop() {
    Disconnect();
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.kill();
        daemon_.waitForFinished(StartDeadlineMs);
    }
}

void PrivateBus::Disconnect() {
    if (!connectionName_.isEmpty()) {
        connection_ = QDBusConnection(QStringLiteral("unconnected"));
        QDBusConnection::disconnectFromBus(connectionName_);
        connectionName_.clear();
    }
}

bool PrivateBus::WaitForOwner(const QString& name, bool owned) const {
    const QDeadlineTimer deadline(OwnerDeadlineMs);
    for (;;) {
        QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        ask << name;
        const QDBusMessage reply = connection_.call(ask, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            reply.arguments().constFirst().toBool() == owned) {
            return true;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(10);
    }
}
