#include "tests/player/stand_in_process.h"

#include <sys/prctl.h>

#include <QDeadlineTimer>
#include <csignal>
#include <utility>

#include "tests/player/private_bus.h"

namespace {

constexpr int DeadlineMs = 30000;

}  // namespace

StandInProcess::StandInProcess(const PrivateBus& bus, StandInSetup setup)
    : bus_(bus), setup_(std::move(setup)) {
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

StandInProcess::~StandInProcess() {
    if (process_.state() != QProcess::NotRunning) {
        Thaw();
        process_.kill();
        process_.waitForFinished(DeadlineMs);
    }
}

QString StandInProcess::BusName() const {
    return QStringLiteral("org.mpris.MediaPlayer2.") + setup_.name;
}

bool StandInProcess::Start() {
    ready_ = false;
    process_.start(QStringLiteral(QUORVEL_STAND_IN_PATH),
                   {bus_.Address(), setup_.name, setup_.identity, setup_.status,
                    QString::number(setup_.volume, 'g', 17),
                    setup_.replies ? QStringLiteral("replies") : QStringLiteral("silent")});
    const QDeadlineTimer deadline(DeadlineMs);
    while (!ready_ && !deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        TakeLines();
    }
    return ready_ && bus_.WaitForOwner(BusName(), true);
}

bool StandInProcess::Kill() {
    Thaw();
    process_.kill();
    process_.waitForFinished(DeadlineMs);
    return bus_.WaitForOwner(BusName(), false);
}

void StandInProcess::Freeze() {
    if (process_.processId() > 0) {
        ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP);
    }
}

void StandInProcess::Thaw() {
    if (process_.processId() > 0) {
        ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
    }
}

std::vector<std::string> StandInProcess::WaitForCalls(std::size_t count) {
    const QDeadlineTimer deadline(DeadlineMs);
    TakeLines();
    while (calls_.size() < count && !deadline.hasExpired() &&
           process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        TakeLines();
    }
    return Calls();
}

std::vector<std::string> StandInProcess::Calls() {
    // Lines the stand-in printed before replying are already in the pipe.
    while (process_.state() != QProcess::NotRunning && process_.waitForReadyRead(0)) {
    }
    TakeLines();
    return calls_;
}

void StandInProcess::TakeLines() {
    while (process_.canReadLine()) {
        const std::string line = QString::fromUtf8(process_.readLine()).trimmed().toStdString();
        if (line == "ready") {
            ready_ = true;
        } else {
            calls_.push_back(line);
        }
    }
}
