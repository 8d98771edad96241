#include "player/mpris_player_link.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <utility>

#include "player/player_commands.h"
#include "player/player_log.h"

namespace {

const QString BusService = QStringLiteral("org.freedesktop.DBus");
const QString BusPath = QStringLiteral("/org/freedesktop/DBus");
const QString BusInterface = QStringLiteral("org.freedesktop.DBus");
const QString PlayerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// What the bus answers for a name nobody owns when auto-start is off.
const QString NameHasNoOwner = QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QDBusMessage PlayerCall(const std::string& player, const QString& interface,
                        const QString& method) {
    QDBusMessage m = QDBusMessage::createMethodCall(Q(player), PlayerPath, interface, method);
    // A player that is not running must not be started behind the user's back.
    m.setAutoStartService(false);
    return m;
}

QDBusMessage GetProperty(const std::string& player, const QString& interface, const QString& name) {
    QDBusMessage m = PlayerCall(player, PropertiesInterface, QStringLiteral("Get"));
    m << interface << name;
    return m;
}

// The value of a Properties.Get reply; invalid when the reply is not one.
QVariant PropertyValue(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

int RemainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
}

}  // namespace

MprisPlayerLink::MprisPlayerLink(std::string wantedName, QDBusConnection connection,
                                 int replyTimeoutMs)
    : wanted_(std::move(wantedName)),
      connection_(std::move(connection)),
      replyTimeoutMs_(replyTimeoutMs) {}

bool MprisPlayerLink::BusUsable() {
    if (connection_.isConnected()) {
        noBusReported_ = false;
        return true;
    }
    if (!noBusReported_) {
        noBusReported_ = true;
        qCWarning(lcPlayer).noquote() << "no D-Bus session bus, player commands go nowhere:"
                                      << connection_.lastError().message();
    }
    return false;
}

std::vector<MprisCandidate> MprisPlayerLink::ListCandidates() {
    const QDBusMessage list = QDBusMessage::createMethodCall(BusService, BusPath, BusInterface,
                                                             QStringLiteral("ListNames"));
    const QDBusMessage names = connection_.call(list, QDBus::Block, replyTimeoutMs_);
    if (names.type() != QDBusMessage::ReplyMessage || names.arguments().isEmpty()) {
        qCWarning(lcPlayer).noquote() << "cannot list the bus names:" << names.errorMessage();
        return {};
    }

    // Every player is asked at once, so a hung one costs one bound, not one per player.
    struct Pending {
        MprisCandidate candidate;
        QDBusPendingCall identity;
        QDBusPendingCall status;
    };
    std::vector<Pending> pending;
    const QString prefix = QString::fromLatin1(MprisBusPrefix);
    for (const QString& name : names.arguments().constFirst().toStringList()) {
        if (!name.startsWith(prefix)) {
            continue;
        }
        const std::string busName = name.toStdString();
        pending.push_back(Pending{
            MprisCandidate{busName, {}, false},
            connection_.asyncCall(GetProperty(busName, RootInterface, QStringLiteral("Identity")),
                                  replyTimeoutMs_),
            connection_.asyncCall(
                GetProperty(busName, PlayerInterface, QStringLiteral("PlaybackStatus")),
                replyTimeoutMs_)});
    }

    std::vector<MprisCandidate> candidates;
    candidates.reserve(pending.size());
    for (Pending& p : pending) {
        p.identity.waitForFinished();
        p.status.waitForFinished();
        p.candidate.identity = PropertyValue(p.identity.reply()).toString().toStdString();
        p.candidate.playing =
            PropertyValue(p.status.reply()).toString() == QStringLiteral("Playing");
        candidates.push_back(std::move(p.candidate));
    }
    return candidates;
}

std::string MprisPlayerLink::FindPlayerWindow() {
    player_.clear();
    if (!BusUsable()) {
        return {};
    }
    player_ = ChooseMprisPlayer(ListCandidates(), wanted_);
    if (player_.empty()) {
        if (!noPlayerReported_) {
            noPlayerReported_ = true;
            qCInfo(lcPlayer).noquote()
                << (wanted_.empty() ? QStringLiteral("no MPRIS player on the bus")
                                    : QStringLiteral("no MPRIS player named ") + Q(wanted_));
        }
    } else {
        noPlayerReported_ = false;
        qCInfo(lcPlayer).noquote() << "commanding" << Q(player_);
    }
    return player_;
}

void MprisPlayerLink::SendPlayerCommand(int id) {
    switch (id) {
        case PlayerCommand::CmdPlay:
        case PlayerCommand::CmdPrev:
        case PlayerCommand::CmdNext:
        case PlayerCommand::CmdVolUp:
        case PlayerCommand::CmdVolDown:
            break;
        default:
            return;
    }
    if (!BusUsable()) {
        return;
    }
    if (player_.empty() && FindPlayerWindow().empty()) {
        return;
    }
    if (Deliver(id) == Delivery::PlayerGone && !FindPlayerWindow().empty()) {
        Deliver(id);
    }
}

MprisPlayerLink::Delivery MprisPlayerLink::Deliver(int id) {
    const QDeadlineTimer deadline(replyTimeoutMs_);
    switch (id) {
        case PlayerCommand::CmdPlay:
            return CallPlayerMethod("PlayPause", deadline);
        case PlayerCommand::CmdPrev:
            return CallPlayerMethod("Previous", deadline);
        case PlayerCommand::CmdNext:
            return CallPlayerMethod("Next", deadline);
        case PlayerCommand::CmdVolUp:
            return StepVolume(VolumeStep, deadline);
        case PlayerCommand::CmdVolDown:
            return StepVolume(-VolumeStep, deadline);
        default:
            return Delivery::Done;
    }
}

MprisPlayerLink::Delivery MprisPlayerLink::CallPlayerMethod(const char* method,
                                                            const QDeadlineTimer& deadline) {
    return Judge(
        CallPlayer(PlayerCall(player_, PlayerInterface, QString::fromLatin1(method)), deadline),
        method);
}

MprisPlayerLink::Delivery MprisPlayerLink::StepVolume(double step, const QDeadlineTimer& deadline) {
    const QDBusMessage got =
        CallPlayer(GetProperty(player_, PlayerInterface, QStringLiteral("Volume")), deadline);
    const Delivery read = Judge(got, "reading Volume");
    if (read != Delivery::Done) {
        return read;
    }
    bool ok = false;
    const double volume = PropertyValue(got).toDouble(&ok);
    if (!ok) {
        qCWarning(lcPlayer).noquote() << Q(player_) << "gave no usable Volume";
        return Delivery::Failed;
    }

    QDBusMessage set = PlayerCall(player_, PropertiesInterface, QStringLiteral("Set"));
    set << PlayerInterface << QStringLiteral("Volume")
        << QVariant::fromValue(QDBusVariant(std::clamp(volume + step, 0.0, 1.0)));
    return Judge(CallPlayer(set, deadline), "setting Volume");
}

QDBusMessage MprisPlayerLink::CallPlayer(const QDBusMessage& message,
                                         const QDeadlineTimer& deadline) {
    const int remaining = RemainingMs(deadline);
    if (remaining == 0) {
        return message.createErrorReply(QDBusError::Timeout,
                                        QStringLiteral("no time left for this command"));
    }
    return connection_.call(message, QDBus::Block, remaining);
}

MprisPlayerLink::Delivery MprisPlayerLink::Judge(const QDBusMessage& reply, const char* what) {
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return Delivery::Done;
    }
    const QDBusError error(reply);
    qCWarning(lcPlayer).noquote() << what << "on" << Q(player_) << "failed:" << error.name()
                                  << error.message();
    if (error.type() == QDBusError::ServiceUnknown || error.name() == NameHasNoOwner) {
        return Delivery::PlayerGone;
    }
    return Delivery::Failed;
}
