#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Gives the test process a Qt application object and makes sure nothing in it can reach
// the user's session bus: the session bus address points at a path that does not exist.
void PrepareQtWithoutSessionBus();

// A dbus-daemon of the test's own, started with a minimal configuration (no activatable
// services), and this process's named connection to it. Stopped on destruction.
class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False when the daemon did not start; Error() says why.
    bool Started() const { return connection_.isConnected(); }
    const QString& Error() const { return error_; }
    // The same for every start of the daemon: it listens on one socket path, and the
    // address names no daemon instance (no guid).
    const QString& Address() const { return address_; }
    QDBusConnection Connection() const { return connection_; }

    // Kills the daemon (SIGKILL), as a crashed bus, and waits until it has ended: every
    // client loses its connection. This process's own is closed first.
    void Stop();
    // Starts it (again) at the same address and connects to it; returns Started().
    bool Start();

    // Polls until the name is owned (or not), or a generous deadline has passed.
    bool WaitForOwner(const QString& name, bool owned) const;

  private:
    void Disconnect();

    QTemporaryDir dir_;
    QString configPath_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
    QDBusConnection connection_;
    QString error_;
};
