#include "tests/e2e/socat_pair.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <csignal>

#include "tests/e2e/program_process.h"

SocatPair::SocatPair(const QString& dir)
    : portPath_(dir + QStringLiteral("/port")), peerPath_(dir + QStringLiteral("/peer")) {
    socat_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

SocatPair::~SocatPair() {
    ClosePeer();
    if (socat_.state() != QProcess::NotRunning) {
        socat_.kill();
        socat_.waitForFinished(DeadlineMs);
    }
}

bool SocatPair::Plug() {
    const QString pty = QStringLiteral("pty,raw,echo=0,link=");
    socat_.start(QStringLiteral("socat"),
                 {QStringLiteral("-d"), QStringLiteral("-d"), pty + portPath_, pty + peerPath_});
    // With -d -d it says so on standard error once both ptys are open and linked.
    QByteArray said;
    const QDeadlineTimer deadline(DeadlineMs);
    while (!said.contains("starting data transfer loop") && !deadline.hasExpired() &&
           socat_.state() != QProcess::NotRunning) {
        socat_.waitForReadyRead(100);
        said += socat_.readAllStandardError();
    }
    if (!said.contains("starting data transfer loop") || !QFileInfo::exists(portPath_) ||
        !QFileInfo::exists(peerPath_)) {
        error_ = QStringLiteral("socat did not start: ") + socat_.errorString() + QLatin1Char(' ') +
                 QString::fromLocal8Bit(said);
        return false;
    }
    return true;
}

bool SocatPair::Unplug() {
    ClosePeer();
    socat_.kill();
    const bool ended = socat_.waitForFinished(DeadlineMs);
    QFile::remove(portPath_);
    QFile::remove(peerPath_);
    return ended;
}

int SocatPair::OpenPeer() {
    ClosePeer();
    peer_ = ::open(QFile::encodeName(peerPath_).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return peer_;
}

void SocatPair::ClosePeer() {
    if (peer_ >= 0) {
        ::close(peer_);
        peer_ = -1;
    }
}
