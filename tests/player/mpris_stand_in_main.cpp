// A stand-in MPRIS media player for the tests. It joins the bus at the given address,
// exports /org/mpris/MediaPlayer2 and prints one line to standard output for every
// command it receives ("PlayPause", "Previous", "Next", "Volume 0.5500"), flushed before
// it replies, so a caller whose call has returned can read the line at once.
//
// Usage: quorvel_mpris_stand_in ADDRESS NAME IDENTITY STATUS VOLUME [replies|silent]
// It owns org.mpris.MediaPlayer2.NAME and prints "ready" once it does. A silent one
// records PlayPause, Previous and Next but never answers them, so its caller is still
// waiting when the line is read.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <cstdio>

#include "tests/player/mpris_interfaces.h"

namespace {

const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

void Record(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

class StandInPlayer : public QDBusVirtualObject {
  public:
    StandInPlayer(QString identity, QString status, double volume, bool replies)
        : identity_(std::move(identity)),
          status_(std::move(status)),
          volume_(volume),
          replies_(replies) {}

    QString introspect(const QString&) const override { return MprisInterfaceXml(); }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& connection) override {
        const QString member = m.member();
        const QList<QVariant> args = m.arguments();
        if (m.interface() == PropertiesInterface) {
            if (member == QLatin1String("Get") && args.size() == 2) {
                const QVariant value = Property(args[0].toString(), args[1].toString());
                if (!value.isValid()) {
                    return Fail(m, connection, "org.freedesktop.DBus.Error.UnknownProperty");
                }
                return connection.send(m.createReply(QVariant::fromValue(QDBusVariant(value))));
            }
            if (member == QLatin1String("GetAll") && args.size() == 1) {
                QVariantMap all;
                for (const char* name : {"Identity", "PlaybackStatus", "Volume"}) {
                    const QVariant v = Property(args[0].toString(), QString::fromLatin1(name));
                    if (v.isValid()) {
                        all.insert(QString::fromLatin1(name), v);
                    }
                }
                return connection.send(m.createReply(QVariant::fromValue(all)));
            }
            if (member == QLatin1String("Set") && args.size() == 3 &&
                args[0].toString() == PlayerInterface && args[1].toString() == "Volume") {
                volume_ = qvariant_cast<QDBusVariant>(args[2]).variant().toDouble();
                Record(QStringLiteral("Volume ") + QString::number(volume_, 'f', 4));
                return connection.send(m.createReply());
            }
            return Fail(m, connection, "org.freedesktop.DBus.Error.InvalidArgs");
        }
        if ((m.interface() == PlayerInterface || m.interface().isEmpty()) &&
            (member == "PlayPause" || member == "Previous" || member == "Next")) {
            Record(member);
            return !replies_ || connection.send(m.createReply());
        }
        return false;
    }

  private:
    QVariant Property(const QString& interface, const QString& name) const {
        if (interface == RootInterface && name == "Identity") {
            return identity_;
        }
        if (interface == PlayerInterface && name == "PlaybackStatus") {
            return status_;
        }
        if (interface == PlayerInterface && name == "Volume") {
            return volume_;
        }
        return {};
    }

    static bool Fail(const QDBusMessage& m, const QDBusConnection& connection, const char* error) {
        return connection.send(
            m.createErrorReply(QString::fromLatin1(error), QStringLiteral("not here")));
    }

    QString identity_;
    QString status_;
    double volume_;
    bool replies_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6 && !(args.size() == 7 && (args[6] == "replies" || args[6] == "silent"))) {
        std::fputs(
            "usage: quorvel_mpris_stand_in ADDRESS NAME IDENTITY STATUS VOLUME"
            " [replies|silent]\n",
            stderr);
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(args[1], QStringLiteral("stand-in"));
    if (!bus.isConnected()) {
        std::fprintf(stderr, "stand-in: no bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    StandInPlayer player(args[3], args[4], args[5].toDouble(),
                         args.size() == 6 || args[6] == "replies");
    if (!bus.registerVirtualObject(QStringLiteral("/org/mpris/MediaPlayer2"), &player) ||
        !bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.") + args[2])) {
        std::fprintf(stderr, "stand-in: cannot export: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    Record(QStringLiteral("ready"));
    return app.exec();
}
